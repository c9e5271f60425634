#include "transport/AccessToken.h"

#include "transport/OAuthAccessToken.h"
#include "transport/TokenCommand.h"

MailAuthMethod mailAuthMethodFromSetting(int stored)
{
    switch (stored) {
    case int(MailAuthMethod::OAuth2):
        return MailAuthMethod::OAuth2;
    case int(MailAuthMethod::TokenCommand):
        return MailAuthMethod::TokenCommand;
    default:
        return MailAuthMethod::Password;
    }
}

AccessTokenSource accessTokenSource(MailAuthMethod method, const QString& tokenCommand,
                                    const QString& protocol)
{
    switch (method) {
    case MailAuthMethod::Password:
        return {};
    case MailAuthMethod::TokenCommand:
        return [tokenCommand, protocol] {
            return TokenCommand::run(tokenCommand, protocol);
        };
    case MailAuthMethod::OAuth2:
        break;
    }
    const MailServerSide side =
        protocol == QLatin1String("IMAP") ? MailServerSide::Imap : MailServerSide::Smtp;
    return [side] {
        return OAuthAccessToken::current(side);
    };
}
