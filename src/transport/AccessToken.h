#pragma once

#include <QString>

#include <functional>

// How a mail session logs in, as the settings SMTPAuthMethod and IMAPAuthMethod
// store it: with the password, with an OAuth2 access token the program signs in for,
// or with an access token the user's own command prints (TokenCommand).
enum class MailAuthMethod
{
    Password = 0,
    OAuth2 = 1,
    TokenCommand = 2
};

// The stored number as a method; a number out of range is the password.
MailAuthMethod mailAuthMethodFromSetting(int stored);

// Gives a session its access token when it logs in with one, fresh each log-in (a
// token lasts about an hour). Throws KestrelError with the reason when there is none.
using AccessTokenSource = std::function<QString()>;

// The source for a method and its command; empty for the password. protocol is
// "SMTP" or "IMAP". OAuth2 renews the access token with the stored refresh token when
// it is about to run out (OAuthAccessToken) and never asks the user.
AccessTokenSource accessTokenSource(MailAuthMethod method, const QString& tokenCommand,
                                    const QString& protocol);
