#include "transport/AccessToken.h"

#include "core/KestrelError.h"
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
    return [protocol]() -> QString {
        throw KestrelError(QStringLiteral("This version cannot sign in to the %1 server with "
                                          "OAuth2 itself: choose \"Token command\" with a "
                                          "command that prints the access token.")
                               .arg(protocol));
    };
}
