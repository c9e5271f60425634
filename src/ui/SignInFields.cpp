#include "ui/SignInFields.h"

#include "transport/AccessToken.h"
#include "ui/ControlHelpers.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

SignInFields SignInFields::make(QWidget* parent, const QString& protocol,
                                const QString& tokenCaption)
{
    SignInFields fields;
    fields.method = new QComboBox(parent);
    fields.method->setObjectName(QStringLiteral("cmb%1SignIn").arg(protocol));
    fields.method->addItem(QStringLiteral("Password"), int(MailAuthMethod::Password));
    fields.method->addItem(QStringLiteral("Token command"), int(MailAuthMethod::TokenCommand));
    fields.method->setToolTip(
        QStringLiteral("How the program signs in to the %1 server: with the password, or with "
                       "an access token (OAuth2) that a command of yours prints")
            .arg(protocol));
    fields.method->setAccessibleName(QStringLiteral("%1 Sign-in Method").arg(protocol));
    fields.tokenCommand = makeEdit(
        parent, QStringLiteral("edb%1TokenCommand").arg(protocol),
        QStringLiteral("A command whose output is the access token, such as a mail provider's "
                       "sign-in helper; it runs without a shell, its words split as in a "
                       "launcher's command line."));
    fields.tokenLabel = makeLabel(parent, QStringLiteral("lbl%1TokenCommand").arg(protocol),
                                  tokenCaption, fields.tokenCommand);
    return fields;
}

void SignInFields::follow(const QList<QWidget*>& passwordRow) const
{
    const auto show = [*this, passwordRow] {
        const bool token = storedMethod() == int(MailAuthMethod::TokenCommand);
        for (QWidget* widget : passwordRow)
            widget->setVisible(!token);
        tokenLabel->setVisible(token);
        tokenCommand->setVisible(token);
    };
    QObject::connect(method, &QComboBox::currentIndexChanged, method, show);
    show();
}

int SignInFields::storedMethod() const
{
    return method->currentData().toInt();
}

void SignInFields::showStoredMethod(int stored) const
{
    const int index = method->findData(int(mailAuthMethodFromSetting(stored)));
    method->setCurrentIndex(index >= 0 ? index : 0);
}
