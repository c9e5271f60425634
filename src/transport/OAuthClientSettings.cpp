#include "transport/OAuthClientSettings.h"

#include "core/QuayRegistryObject.h"

namespace {

const QString MicrosoftScopes =
    QStringLiteral("https://outlook.office.com/SMTP.Send "
                   "https://outlook.office.com/IMAP.AccessAsUser.All offline_access");

OAuthClientSettings microsoft(const QString& tenant)
{
    const QString base =
        QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/").arg(tenant);
    OAuthClientSettings client;
    client.authorizationEndpoint = QUrl(base + QStringLiteral("authorize"));
    client.tokenEndpoint = QUrl(base + QStringLiteral("token"));
    client.deviceEndpoint = QUrl(base + QStringLiteral("devicecode"));
    client.scopes = MicrosoftScopes;
    return client;
}

struct StoredClient
{
    int provider;
    QString clientId;
    QString clientSecret;
    QString authorizationEndpoint;
    QString tokenEndpoint;
    QString deviceEndpoint;
    QString scopes;
};

StoredClient storedClient(MailServerSide side)
{
    const TQuayRegistryObject store;
    if (side == MailServerSide::Imap)
        return {store.ReadIMAPOAuthProvider(),      store.ReadIMAPOAuthClientId(),
                store.ReadIMAPOAuthClientSecret(),  store.ReadIMAPOAuthAuthorizationEndpoint(),
                store.ReadIMAPOAuthTokenEndpoint(), store.ReadIMAPOAuthDeviceEndpoint(),
                store.ReadIMAPOAuthScopes()};
    return {store.ReadSMTPOAuthProvider(),      store.ReadSMTPOAuthClientId(),
            store.ReadSMTPOAuthClientSecret(),  store.ReadSMTPOAuthAuthorizationEndpoint(),
            store.ReadSMTPOAuthTokenEndpoint(), store.ReadSMTPOAuthDeviceEndpoint(),
            store.ReadSMTPOAuthScopes()};
}

} // namespace

OAuthProvider OAuthClientSettings::providerFromSetting(int stored)
{
    switch (stored) {
    case int(OAuthProvider::MicrosoftPersonal):
        return OAuthProvider::MicrosoftPersonal;
    case int(OAuthProvider::MicrosoftWork):
        return OAuthProvider::MicrosoftWork;
    case int(OAuthProvider::Google):
        return OAuthProvider::Google;
    default:
        return OAuthProvider::Custom;
    }
}

OAuthClientSettings OAuthClientSettings::preset(OAuthProvider provider)
{
    OAuthClientSettings client;
    switch (provider) {
    case OAuthProvider::Custom:
        break;
    case OAuthProvider::MicrosoftPersonal:
        client = microsoft(QStringLiteral("consumers"));
        break;
    case OAuthProvider::MicrosoftWork:
        client = microsoft(QStringLiteral("organizations"));
        break;
    case OAuthProvider::Google:
        client.authorizationEndpoint =
            QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth"));
        client.tokenEndpoint = QUrl(QStringLiteral("https://oauth2.googleapis.com/token"));
        client.deviceEndpoint = QUrl(QStringLiteral("https://oauth2.googleapis.com/device/code"));
        client.scopes = QStringLiteral("https://mail.google.com/");
        break;
    }
    client.provider = provider;
    return client;
}

OAuthClientSettings OAuthClientSettings::fromStore(MailServerSide side)
{
    StoredClient stored = storedClient(side);
    if (side == MailServerSide::Imap && stored.clientId.trimmed().isEmpty())
        stored = storedClient(MailServerSide::Smtp);
    const OAuthProvider provider = providerFromSetting(stored.provider);
    OAuthClientSettings client = preset(provider);
    if (provider == OAuthProvider::Custom) {
        client.authorizationEndpoint = QUrl(stored.authorizationEndpoint.trimmed());
        client.tokenEndpoint = QUrl(stored.tokenEndpoint.trimmed());
        client.deviceEndpoint = QUrl(stored.deviceEndpoint.trimmed());
        client.scopes = stored.scopes.simplified();
    }
    client.clientId = stored.clientId.trimmed();
    client.clientSecret = stored.clientSecret.trimmed();
    return client;
}

QString OAuthClientSettings::missingText(MailServerSide side) const
{
    if (clientId.isEmpty())
        return QStringLiteral("No OAuth2 client ID is set for the %1 server.").arg(sideName(side));
    if (!tokenEndpoint.isValid() || tokenEndpoint.isEmpty())
        return QStringLiteral("No OAuth2 token endpoint is set for the %1 server.")
            .arg(sideName(side));
    return {};
}

QString sideName(MailServerSide side)
{
    return side == MailServerSide::Imap ? QStringLiteral("IMAP") : QStringLiteral("SMTP");
}

QString readRefreshToken(MailServerSide side, MailServerSide* storedFor)
{
    const TQuayRegistryObject store;
    if (side == MailServerSide::Imap) {
        const QString own = store.ReadIMAPRefreshToken();
        if (!own.isEmpty()) {
            if (storedFor)
                *storedFor = MailServerSide::Imap;
            return own;
        }
    }
    if (storedFor)
        *storedFor = MailServerSide::Smtp;
    return store.ReadSMTPRefreshToken();
}

void writeRefreshToken(MailServerSide side, const QString& refreshToken)
{
    const TQuayRegistryObject store;
    if (side == MailServerSide::Imap)
        store.WriteIMAPRefreshToken(refreshToken);
    else
        store.WriteSMTPRefreshToken(refreshToken);
}
