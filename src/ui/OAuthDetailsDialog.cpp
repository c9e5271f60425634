#include "ui/OAuthDetailsDialog.h"

#include "ui/ControlHelpers.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

OAuthDetailsDialog::OAuthDetailsDialog(QWidget* parent, MailServerSide side, OAuthProvider provider,
                                       const SignInFields::OAuthDetails& details)
    : QDialog(parent), m_custom(provider == OAuthProvider::Custom), m_stored(details)
{
    setObjectName(QStringLiteral("dlgOAuthDetails"));
    setWindowTitle(QStringLiteral("%1 OAuth2 Details").arg(sideName(side)));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_clientSecret = makeEdit(this, QStringLiteral("edbOAuthClientSecret"),
                              QStringLiteral("Only when the provider gave the client one (a "
                                             "desktop client's is not kept secret)"));
    m_clientSecret->setText(details.clientSecret);
    form->addRow(makeLabel(this, QStringLiteral("lblOAuthClientSecret"),
                           QStringLiteral("Client &Secret:"), m_clientSecret),
                 m_clientSecret);

    // A preset shows its own addresses; Custom shows and keeps the stored ones.
    const OAuthClientSettings preset = OAuthClientSettings::preset(provider);
    const auto field = [this, form](const QString& name, const QString& caption,
                                    const QString& value) {
        QLineEdit* edit = makeEdit(this, QStringLiteral("edbOAuth") + name);
        edit->setText(value);
        edit->setReadOnly(!m_custom);
        form->addRow(makeLabel(this, QStringLiteral("lblOAuth") + name, caption, edit), edit);
        return edit;
    };
    m_authorizationEndpoint =
        field(QStringLiteral("AuthorizationEndpoint"), QStringLiteral("&Authorization Address:"),
              m_custom ? details.authorizationEndpoint : preset.authorizationEndpoint.toString());
    m_tokenEndpoint = field(QStringLiteral("TokenEndpoint"), QStringLiteral("&Token Address:"),
                            m_custom ? details.tokenEndpoint : preset.tokenEndpoint.toString());
    m_deviceEndpoint =
        field(QStringLiteral("DeviceEndpoint"), QStringLiteral("&Device Code Address:"),
              m_custom ? details.deviceEndpoint : preset.deviceEndpoint.toString());
    m_scopes = field(QStringLiteral("Scopes"), QStringLiteral("S&copes:"),
                     m_custom ? details.scopes : preset.scopes);
    layout->addLayout(form);
    auto* note = new QLabel(m_custom ? QStringLiteral("Scopes are separated by spaces. Leave the "
                                                      "device code address empty when the "
                                                      "provider has none.")
                                     : QStringLiteral("The provider's preset fills in the "
                                                      "addresses and scopes; choose Custom to "
                                                      "change them."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(520, sizeHint().height());
}

SignInFields::OAuthDetails OAuthDetailsDialog::details() const
{
    SignInFields::OAuthDetails result = m_stored;
    result.clientSecret = m_clientSecret->text().trimmed();
    // A preset's addresses are not stored: the stored ones stay for a return to Custom.
    if (m_custom) {
        result.authorizationEndpoint = m_authorizationEndpoint->text().trimmed();
        result.tokenEndpoint = m_tokenEndpoint->text().trimmed();
        result.deviceEndpoint = m_deviceEndpoint->text().trimmed();
        result.scopes = m_scopes->text().simplified();
    }
    return result;
}
