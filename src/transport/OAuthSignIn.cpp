#include "transport/OAuthSignIn.h"

#include "core/Clock.h"
#include "core/ClockTimer.h"
#include "core/KestrelError.h"
#include "core/Services.h"
#include "transport/OAuthAccessToken.h"
#include "transport/OAuthRedirectListener.h"
#include "transport/OAuthTokenEndpoint.h"
#include "transport/SignInView.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QPointer>
#include <QRandomGenerator>

namespace {

constexpr auto Base64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QString randomText(int bytes)
{
    QByteArray data(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(data.data()), bytes / 4);
    return QString::fromLatin1(data.toBase64(Base64Url));
}

// RFC 7636 S256: the challenge is the verifier's SHA-256, base64url without padding.
QString challengeOf(const QString& verifier)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
            .toBase64(Base64Url));
}

// A device authorization's defaults when the provider names none (RFC 8628).
constexpr int DefaultPollSeconds = 5;
constexpr int SlowDownSeconds = 5;
constexpr int DefaultDeviceCodeSeconds = 15 * 60;

const QString DeviceGrant = QStringLiteral("urn:ietf:params:oauth:grant-type:device_code");

} // namespace

struct OAuthSignIn::Private
{
    Private(MailServerSide forSide, OAuthClientSettings settings, SignInView& shownIn)
        : side(forSide), client(std::move(settings)), view(shownIn)
    {}

    MailServerSide side;
    OAuthClientSettings client;
    SignInView& view;
    bool cancelled = false;
    QPointer<QEventLoop> waiting;

    void throwIfCancelled() const
    {
        if (cancelled)
            throw KestrelError(QStringLiteral("The sign-in was cancelled."));
    }
    void finish(const OAuthTokens& tokens);
    void signInWithBrowser();
    void signInWithDeviceCode();
};

OAuthSignIn::OAuthSignIn(MailServerSide side, OAuthClientSettings client, SignInView& view)
    : d(std::make_unique<Private>(side, std::move(client), view))
{}

OAuthSignIn::OAuthSignIn(MailServerSide side, SignInView& view)
    : OAuthSignIn(side, OAuthClientSettings::fromStore(side), view)
{}

OAuthSignIn::~OAuthSignIn() = default;

OAuthSignIn::Flow OAuthSignIn::preferredFlow() const
{
    // Google grants only a few scopes to a device sign-in, and mail is not among them.
    if (d->client.provider == OAuthProvider::Google)
        return Flow::Browser;
    return d->client.deviceEndpoint.isEmpty() ? Flow::Browser : Flow::DeviceCode;
}

void OAuthSignIn::run(Flow flow)
{
    d->cancelled = false;
    const QString missing = d->client.missingText(d->side);
    if (!missing.isEmpty())
        throw KestrelError(missing);
    if (flow == Flow::Browser)
        d->signInWithBrowser();
    else
        d->signInWithDeviceCode();
}

void OAuthSignIn::cancel()
{
    d->cancelled = true;
    if (d->waiting)
        d->waiting->quit();
}

void OAuthSignIn::Private::finish(const OAuthTokens& tokens)
{
    if (tokens.refreshToken.isEmpty())
        throw KestrelError(QStringLiteral("The sign-in gave no refresh token, so the program "
                                          "could not log in again later: the scopes may lack "
                                          "\"offline_access\"."));
    OAuthAccessToken::remember(client, tokens, side);
    view.showStatus(QStringLiteral("Signed in for the %1 server.").arg(sideName(side)));
}

void OAuthSignIn::Private::signInWithBrowser()
{
    if (client.authorizationEndpoint.isEmpty())
        throw KestrelError(QStringLiteral("No OAuth2 authorization endpoint is set for the %1 "
                                          "server.")
                               .arg(sideName(side)));
    OAuthRedirectListener listener;
    const QString verifier = randomText(32);
    const QString state = randomText(16);
    const QString redirectUri = listener.redirectUri().toString();

    QUrl address = client.authorizationEndpoint;
    QUrlQuery query(address);
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    query.addQueryItem(QStringLiteral("client_id"), client.clientId);
    query.addQueryItem(QStringLiteral("redirect_uri"), redirectUri);
    if (!client.scopes.isEmpty())
        query.addQueryItem(QStringLiteral("scope"), client.scopes);
    query.addQueryItem(QStringLiteral("state"), state);
    query.addQueryItem(QStringLiteral("code_challenge"), challengeOf(verifier));
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    address.setQuery(query);

    QEventLoop loop;
    waiting = &loop;
    listener.setOnRedirect([&loop] { loop.quit(); });
    bool timedOut = false;
    const std::unique_ptr<ClockTimer> timeout =
        Services::clock().createTimer(OAuthSignIn::BrowserWaitMs, [&loop, &timedOut] {
            timedOut = true;
            loop.quit();
        });
    view.openAddress(address);
    view.showStatus(QStringLiteral("Waiting for the sign-in in the browser."));
    timeout->start();
    if (!listener.hasRedirect() && !cancelled)
        loop.exec();
    timeout->stop();
    throwIfCancelled();
    if (!listener.hasRedirect() || timedOut)
        throw KestrelError(QStringLiteral("The sign-in in the browser was not finished in time."));

    const QUrlQuery& answer = listener.redirect();
    if (answer.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded) != state) {
        listener.answer(QStringLiteral("This answer does not belong to the sign-in that was "
                                       "started: it was refused."));
        throw KestrelError(QStringLiteral("The browser brought back an answer that does not "
                                          "belong to this sign-in; it was refused."));
    }
    if (answer.hasQueryItem(QStringLiteral("error"))) {
        const QString error = answer.queryItemValue(QStringLiteral("error"), QUrl::FullyDecoded);
        listener.answer(QStringLiteral("The sign-in did not succeed (%1).").arg(error));
        throw KestrelError(QStringLiteral("The sign-in for the %1 server was refused in the "
                                          "browser (%2).")
                               .arg(sideName(side), error));
    }

    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("authorization_code"));
    form.addQueryItem(QStringLiteral("code"),
                      answer.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded));
    form.addQueryItem(QStringLiteral("redirect_uri"), redirectUri);
    form.addQueryItem(QStringLiteral("code_verifier"), verifier);
    try {
        const OAuthTokenEndpoint endpoint(client);
        finish(OAuthTokenEndpoint::tokensFrom(endpoint.post(client.tokenEndpoint, form), side));
    } catch (const KestrelError& error) {
        listener.answer(error.message());
        throw;
    }
    listener.answer(QStringLiteral("Signed in: you can close this page."));
}

void OAuthSignIn::Private::signInWithDeviceCode()
{
    if (client.deviceEndpoint.isEmpty())
        throw KestrelError(QStringLiteral("The %1 server's sign-in offers no device code: sign "
                                          "in with the browser.")
                               .arg(sideName(side)));
    const OAuthTokenEndpoint endpoint(client);
    QUrlQuery request;
    if (!client.scopes.isEmpty())
        request.addQueryItem(QStringLiteral("scope"), client.scopes);
    const OAuthTokenEndpoint::Answer device = endpoint.post(client.deviceEndpoint, request);
    const QJsonObject& body = device.body;
    const QString deviceCode = body.value(QStringLiteral("device_code")).toString();
    const QString userCode = body.value(QStringLiteral("user_code")).toString();
    // Some providers name the address verification_url.
    QUrl address(body.value(QStringLiteral("verification_uri")).toString());
    if (address.isEmpty())
        address = QUrl(body.value(QStringLiteral("verification_url")).toString());
    if (!device.error().isEmpty() || deviceCode.isEmpty() || userCode.isEmpty() ||
        address.isEmpty())
        throw KestrelError(QStringLiteral("The sign-in for the %1 server could not start (%2).")
                               .arg(sideName(side), device.error().isEmpty()
                                                        ? QStringLiteral("no code")
                                                        : device.errorText()));
    const QUrl completeAddress(body.value(QStringLiteral("verification_uri_complete")).toString());
    const int lifetime = body.value(QStringLiteral("expires_in")).toInt(DefaultDeviceCodeSeconds);
    int interval = body.value(QStringLiteral("interval")).toInt(DefaultPollSeconds);
    if (interval <= 0)
        interval = DefaultPollSeconds;

    view.showDeviceCode(userCode, address, completeAddress);
    view.showStatus(QStringLiteral("Waiting for the sign-in with the code."));
    Clock& clock = Services::clock();
    const qint64 endsAt = clock.tickMs() + qint64(lifetime) * 1000;
    QUrlQuery poll;
    poll.addQueryItem(QStringLiteral("grant_type"), DeviceGrant);
    poll.addQueryItem(QStringLiteral("device_code"), deviceCode);
    for (;;) {
        clock.waitPumping(interval * 1000);
        throwIfCancelled();
        if (clock.tickMs() >= endsAt)
            break;
        const OAuthTokenEndpoint::Answer answer = endpoint.post(client.tokenEndpoint, poll);
        throwIfCancelled();
        const QString error = answer.error();
        if (error == QLatin1String("authorization_pending"))
            continue;
        if (error == QLatin1String("slow_down")) {
            interval += SlowDownSeconds;
            continue;
        }
        if (error == QLatin1String("expired_token"))
            break;
        if (error == QLatin1String("access_denied"))
            throw KestrelError(
                QStringLiteral("The sign-in for the %1 server was declined.").arg(sideName(side)));
        finish(OAuthTokenEndpoint::tokensFrom(answer, side));
        return;
    }
    throw KestrelError(QStringLiteral("The code ran out before the sign-in was finished: start "
                                      "the sign-in again."));
}
