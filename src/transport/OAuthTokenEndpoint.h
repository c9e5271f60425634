#pragma once

#include "transport/OAuthClientSettings.h"

#include <QJsonObject>
#include <QUrlQuery>

// The provider's answer with tokens. expiresInSeconds is 0 when it named no lifetime.
struct OAuthTokens
{
    QString accessToken;
    QString refreshToken;
    qint64 expiresInSeconds = 0;
};

// The form posts of OAuth2 (token and device authorization endpoints) and their JSON
// answers. Each post waits for its answer while processing events on the calling
// thread, with a limit on a stalled transfer.
class OAuthTokenEndpoint
{
public:
    static constexpr int TransferTimeoutMs = 30000;

    struct Answer
    {
        int httpStatus = 0;
        QJsonObject body;
        // The OAuth2 error code ("invalid_grant"), empty on success.
        QString error() const;
        // The error's code and, when the provider gave one, the first line of its
        // description.
        QString errorText() const;
    };

    explicit OAuthTokenEndpoint(OAuthClientSettings client) : m_client(std::move(client)) {}

    // Posts the form with the client's ID (and secret, when it has one) added. Throws
    // KestrelError when no answer came or it was not JSON.
    Answer post(const QUrl& endpoint, QUrlQuery form) const;

    // The tokens of a successful answer; throws KestrelError with the provider's
    // error otherwise, told for side.
    static OAuthTokens tokensFrom(const Answer& answer, MailServerSide side);

    // grant_type=refresh_token. A refused refresh token (invalid_grant) and any other
    // refusal throw KestrelError saying to sign in again.
    OAuthTokens refresh(const QString& refreshToken, MailServerSide side) const;

    const OAuthClientSettings& client() const { return m_client; }

private:
    OAuthClientSettings m_client;
};

// "kestrelsolo --sign-in smtp": the command that signs in again, with the running
// edition's program name.
QString signInCommand(MailServerSide side);
// The line a log-in that has no usable sign-in ends with.
QString signInAgainText(MailServerSide side);
