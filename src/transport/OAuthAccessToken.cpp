#include "transport/OAuthAccessToken.h"

#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/Services.h"
#include "transport/OAuthTokenEndpoint.h"

#include <QCryptographicHash>
#include <QHash>
#include <QMutex>

namespace {

struct KeptToken
{
    QString accessToken;
    QDateTime expires;
};

// Kept by client and refresh token: one sign-in that serves both servers renews once.
QHash<QByteArray, KeptToken>& kept()
{
    static QHash<QByteArray, KeptToken> tokens;
    return tokens;
}

QMutex& keptMutex()
{
    static QMutex mutex;
    return mutex;
}

QByteArray keyOf(const OAuthClientSettings& client, const QString& refreshToken)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(client.tokenEndpoint.toEncoded());
    hash.addData(QByteArrayView("\n"));
    hash.addData(client.clientId.toUtf8());
    hash.addData(QByteArrayView("\n"));
    hash.addData(refreshToken.toUtf8());
    return hash.result();
}

// Without a lifetime from the provider, an hour, as is usual.
constexpr qint64 AssumedLifetimeSeconds = 3600;

void keep(const OAuthClientSettings& client, const QString& refreshToken, const OAuthTokens& tokens)
{
    const qint64 lifetime =
        tokens.expiresInSeconds > 0 ? tokens.expiresInSeconds : AssumedLifetimeSeconds;
    kept().insert(keyOf(client, refreshToken),
                  {tokens.accessToken, Services::clock().now().addSecs(lifetime)});
}

} // namespace

namespace OAuthAccessToken {

QString current(MailServerSide side)
{
    const OAuthClientSettings client = OAuthClientSettings::fromStore(side);
    const QString missing = client.missingText(side);
    if (!missing.isEmpty())
        throw KestrelError(missing + QLatin1Char(' ') + signInAgainText(side));
    MailServerSide storedFor = side;
    const QString refreshToken = readRefreshToken(side, &storedFor);
    if (refreshToken.isEmpty())
        throw KestrelError(QStringLiteral("The program is not signed in to the %1 server with "
                                          "OAuth2. %2")
                               .arg(sideName(side), signInAgainText(side)));

    const QMutexLocker locker(&keptMutex());
    const auto found = kept().constFind(keyOf(client, refreshToken));
    if (found != kept().constEnd() &&
        Services::clock().now().secsTo(found->expires) > RefreshMarginSeconds)
        return found->accessToken;

    const OAuthTokens tokens = OAuthTokenEndpoint(client).refresh(refreshToken, side);
    const bool rotated = !tokens.refreshToken.isEmpty() && tokens.refreshToken != refreshToken;
    if (rotated) {
        writeRefreshToken(storedFor, tokens.refreshToken);
        kept().remove(keyOf(client, refreshToken));
    }
    keep(client, rotated ? tokens.refreshToken : refreshToken, tokens);
    return tokens.accessToken;
}

void remember(const OAuthClientSettings& client, const OAuthTokens& tokens,
              MailServerSide storedFor)
{
    const QMutexLocker locker(&keptMutex());
    if (!tokens.refreshToken.isEmpty())
        writeRefreshToken(storedFor, tokens.refreshToken);
    keep(client, tokens.refreshToken.isEmpty() ? readRefreshToken(storedFor) : tokens.refreshToken,
         tokens);
}

void forgetAll()
{
    const QMutexLocker locker(&keptMutex());
    kept().clear();
}

} // namespace OAuthAccessToken
