#pragma once

#include <QString>
#include <QUrl>

// Whose sign-in OAuth2 uses, as SMTPOAuthProvider and IMAPOAuthProvider store it. A
// preset names the provider's endpoints and scopes, so one sign-in serves both the
// SMTP and the IMAP server; Custom takes them from the settings.
enum class OAuthProvider
{
    Custom = 0,
    MicrosoftPersonal = 1,
    MicrosoftWork = 2,
    Google = 3
};

// The server a sign-in is for.
enum class MailServerSide
{
    Smtp,
    Imap
};

// Everything the client needs to sign in and refresh.
struct OAuthClientSettings
{
    OAuthProvider provider = OAuthProvider::Custom;
    QString clientId;
    QString clientSecret;
    QUrl authorizationEndpoint;
    QUrl tokenEndpoint;
    // Empty when the provider has no device authorization.
    QUrl deviceEndpoint;
    QString scopes;

    // The stored number as a provider; a number out of range is Custom.
    static OAuthProvider providerFromSetting(int stored);
    // The preset's endpoints and scopes (empty for Custom), with no client.
    static OAuthClientSettings preset(OAuthProvider provider);
    // The side's client as the store has it: the preset's endpoints for a preset, the
    // stored ones for Custom; an IMAP side with no client ID takes the SMTP side's.
    static OAuthClientSettings fromStore(MailServerSide side);

    // Why a sign-in cannot start: no client ID, or no token endpoint. Empty when it can.
    QString missingText(MailServerSide side) const;
};

// "SMTP" or "IMAP".
QString sideName(MailServerSide side);

// The refresh token stored for the side (an empty IMAP one: the SMTP one; storedFor
// tells which, so that a rotated one replaces it there), and its replacement after a
// sign-in or rotation. The store keeps it among the secrets.
QString readRefreshToken(MailServerSide side, MailServerSide* storedFor = nullptr);
void writeRefreshToken(MailServerSide side, const QString& refreshToken);
