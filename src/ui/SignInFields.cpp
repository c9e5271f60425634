#include "ui/SignInFields.h"

#include "core/QuayRegistryObject.h"
#include "transport/AccessToken.h"
#include "ui/ControlHelpers.h"
#include "ui/OAuthDetailsDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
QString settingName(MailServerSide side, const char* suffix)
{
    return sideName(side) + QLatin1String(suffix);
}
} // namespace

SignInFields SignInFields::make(QWidget* parent, MailServerSide side, const QString& tokenCaption)
{
    const QString protocol = sideName(side);
    SignInFields fields;
    fields.side = side;
    fields.details = std::make_shared<OAuthDetails>();
    fields.method = new QComboBox(parent);
    fields.method->setObjectName(QStringLiteral("cmb%1SignIn").arg(protocol));
    fields.method->addItem(QStringLiteral("Password"), int(MailAuthMethod::Password));
    fields.method->addItem(QStringLiteral("OAuth2"), int(MailAuthMethod::OAuth2));
    fields.method->addItem(QStringLiteral("Token command"), int(MailAuthMethod::TokenCommand));
    fields.method->setToolTip(
        QStringLiteral("How the program signs in to the %1 server: with the password, with "
                       "OAuth2 through your browser, or with an access token that a command "
                       "of yours prints")
            .arg(protocol));
    fields.method->setAccessibleName(QStringLiteral("%1 Sign-in Method").arg(protocol));
    fields.tokenCommand = makeEdit(
        parent, QStringLiteral("edb%1TokenCommand").arg(protocol),
        QStringLiteral("A command whose output is the access token, such as a mail provider's "
                       "sign-in helper; it runs without a shell, its words split as in a "
                       "launcher's command line."));
    fields.tokenLabel = makeLabel(parent, QStringLiteral("lbl%1TokenCommand").arg(protocol),
                                  tokenCaption, fields.tokenCommand);

    fields.provider = new QComboBox(parent);
    fields.provider->setObjectName(QStringLiteral("cmb%1OAuthProvider").arg(protocol));
    fields.provider->addItem(QStringLiteral("Microsoft personal account"),
                             int(OAuthProvider::MicrosoftPersonal));
    fields.provider->addItem(QStringLiteral("Microsoft work or school account"),
                             int(OAuthProvider::MicrosoftWork));
    fields.provider->addItem(QStringLiteral("Google"), int(OAuthProvider::Google));
    fields.provider->addItem(QStringLiteral("Custom"), int(OAuthProvider::Custom));
    fields.provider->setToolTip(QStringLiteral("Whose sign-in page OAuth2 uses; Custom takes "
                                               "the addresses and scopes from Details"));
    fields.providerLabel = makeLabel(parent, QStringLiteral("lbl%1OAuthProvider").arg(protocol),
                                     QStringLiteral("%1 Provider:").arg(protocol), fields.provider);
    fields.clientId = makeEdit(parent, QStringLiteral("edb%1OAuthClientId").arg(protocol),
                               QStringLiteral("The client ID of the application you registered "
                                              "with the provider"));
    fields.clientIdLabel =
        makeLabel(parent, QStringLiteral("lbl%1OAuthClientId").arg(protocol),
                  QStringLiteral("%1 Client ID:").arg(protocol), fields.clientId);
    fields.detailsButton = makeButton(
        parent, QStringLiteral("btn%1OAuthDetails").arg(protocol), QStringLiteral("Details..."),
        QStringLiteral("The client secret, addresses and scopes of the sign-in"));
    fields.detailsButton->setAccessibleName(QStringLiteral("%1 OAuth2 Details").arg(protocol));
    fields.signInButton = makeButton(
        parent, QStringLiteral("btn%1SignIn").arg(protocol), QStringLiteral("Sign In..."),
        QStringLiteral("Signs in at the provider's page in your browser"));
    fields.signInButton->setAccessibleName(
        QStringLiteral("Sign In to the %1 Server").arg(protocol));
    return fields;
}

void SignInFields::place(QGridLayout* grid, int methodRow, int passwordRow) const
{
    grid->addWidget(method, methodRow, 1);
    grid->addWidget(signInButton, methodRow, 2);
    grid->addWidget(tokenLabel, passwordRow, 0);
    grid->addWidget(tokenCommand, passwordRow, 1, 1, 2);
    grid->addWidget(providerLabel, passwordRow, 0);
    grid->addWidget(provider, passwordRow, 1, 1, 2);
    grid->addWidget(clientIdLabel, passwordRow + 1, 0);
    grid->addWidget(clientId, passwordRow + 1, 1);
    grid->addWidget(detailsButton, passwordRow + 1, 2);
}

void SignInFields::follow(const QList<QWidget*>& passwordRow) const
{
    const auto show = [*this, passwordRow] {
        const auto chosen = mailAuthMethodFromSetting(storedMethod());
        const bool token = chosen == MailAuthMethod::TokenCommand;
        const bool oauth = chosen == MailAuthMethod::OAuth2;
        for (QWidget* widget : passwordRow)
            widget->setVisible(!token && !oauth);
        for (QWidget* widget :
             {static_cast<QWidget*>(tokenLabel), static_cast<QWidget*>(tokenCommand)})
            widget->setVisible(token);
        for (QWidget* widget :
             {static_cast<QWidget*>(providerLabel), static_cast<QWidget*>(provider),
              static_cast<QWidget*>(clientIdLabel), static_cast<QWidget*>(clientId),
              static_cast<QWidget*>(detailsButton), static_cast<QWidget*>(signInButton)})
            widget->setVisible(oauth);
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

OAuthProvider SignInFields::chosenProvider() const
{
    return OAuthClientSettings::providerFromSetting(provider->currentData().toInt());
}

void SignInFields::showStored() const
{
    const TQuayRegistryObject store;
    showStoredMethod(store.readInteger(settingName(side, "AuthMethod")));
    tokenCommand->setText(store.readString(settingName(side, "TokenCommand")));
    const int stored = store.readInteger(settingName(side, "OAuthProvider"));
    const int index = provider->findData(int(OAuthClientSettings::providerFromSetting(stored)));
    provider->setCurrentIndex(index >= 0 ? index : provider->count() - 1);
    clientId->setText(store.readString(settingName(side, "OAuthClientId")));
    details->clientSecret = store.readString(settingName(side, "OAuthClientSecret"));
    details->authorizationEndpoint =
        store.readString(settingName(side, "OAuthAuthorizationEndpoint"));
    details->tokenEndpoint = store.readString(settingName(side, "OAuthTokenEndpoint"));
    details->deviceEndpoint = store.readString(settingName(side, "OAuthDeviceEndpoint"));
    details->scopes = store.readString(settingName(side, "OAuthScopes"));
}

void SignInFields::store() const
{
    const TQuayRegistryObject store;
    store.writeInteger(settingName(side, "AuthMethod"), storedMethod());
    store.writeString(settingName(side, "TokenCommand"), tokenCommand->text().trimmed());
    store.writeInteger(settingName(side, "OAuthProvider"), int(chosenProvider()));
    store.writeString(settingName(side, "OAuthClientId"), clientId->text().trimmed());
    store.writeString(settingName(side, "OAuthClientSecret"), details->clientSecret);
    store.writeString(settingName(side, "OAuthAuthorizationEndpoint"),
                      details->authorizationEndpoint);
    store.writeString(settingName(side, "OAuthTokenEndpoint"), details->tokenEndpoint);
    store.writeString(settingName(side, "OAuthDeviceEndpoint"), details->deviceEndpoint);
    store.writeString(settingName(side, "OAuthScopes"), details->scopes);
}

void SignInFields::editDetails(QWidget* parent) const
{
    OAuthDetailsDialog dialog(parent, side, chosenProvider(), *details);
    if (dialog.exec() == QDialog::Accepted)
        *details = dialog.details();
}
