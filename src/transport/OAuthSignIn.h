#pragma once

#include "transport/OAuthClientSettings.h"

#include <memory>

class SignInView;

// The OAuth2 sign-in for one server: in the system browser (authorization code with
// PKCE, the redirect caught on 127.0.0.1) or with a code entered on any device
// (device authorization). Once signed in, the refresh token is stored for the side and
// the access token kept for this process, so the next log-in needs no refresh.
//
// run blocks but keeps processing events while it waits, so the window stays alive
// and its Cancel can call cancel(). Every timed wait goes through the clock.
class OAuthSignIn
{
public:
    enum class Flow
    {
        Browser,
        DeviceCode
    };

    // How long the browser sign-in waits for the redirect.
    static constexpr int BrowserWaitMs = 10 * 60 * 1000;

    OAuthSignIn(MailServerSide side, OAuthClientSettings client, SignInView& view);
    // The side's client from the store.
    OAuthSignIn(MailServerSide side, SignInView& view);
    ~OAuthSignIn();
    OAuthSignIn(const OAuthSignIn&) = delete;
    OAuthSignIn& operator=(const OAuthSignIn&) = delete;

    // The device code when the provider has an endpoint for it and grants the mail
    // scopes that way, else the browser.
    Flow preferredFlow() const;

    // Signs in: returns once the refresh token is stored; throws KestrelError with the
    // reason when the provider refused, the time ran out or it was cancelled.
    void run(Flow flow);
    // Ends a running sign-in from an event handler: run throws.
    void cancel();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
