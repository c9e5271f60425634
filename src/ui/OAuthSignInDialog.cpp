#include "ui/OAuthSignInDialog.h"

#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/Services.h"
#include "transport/OAuthSignIn.h"
#include "ui/ControlHelpers.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

OAuthSignInDialog::OAuthSignInDialog(QWidget* parent, MailServerSide side) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgOAuthSignIn"));
    setWindowTitle(QStringLiteral("Sign In to the %1 Server").arg(sideName(side)));
    auto* layout = new QVBoxLayout(this);
    m_status = makeLabel(this, QStringLiteral("lblSignInStatus"), QString());
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_status);
    m_code = makeLabel(this, QStringLiteral("lblSignInCode"), QString());
    QFont large = m_code->font();
    large.setPointSizeF(large.pointSizeF() * 2);
    large.setBold(true);
    m_code->setFont(large);
    m_code->setAlignment(Qt::AlignCenter);
    m_code->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_code->setAccessibleName(QStringLiteral("Sign-in Code"));
    m_code->hide();
    layout->addWidget(m_code);
    m_address = makeLabel(this, QStringLiteral("lblSignInAddress"), QString());
    m_address->setAlignment(Qt::AlignCenter);
    m_address->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_address->setOpenExternalLinks(true);
    m_address->hide();
    layout->addWidget(m_address);
    auto* buttons = new QDialogButtonBox(this);
    m_useCode =
        makeButton(this, QStringLiteral("btnSignInUseCode"), QStringLiteral("Use a Code Instead"),
                   QStringLiteral("Sign in by entering a code on any device, when the "
                                  "browser on this computer cannot"));
    m_useCode->hide();
    buttons->addButton(m_useCode, QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &OAuthSignInDialog::reject);
    connect(m_useCode, &QPushButton::clicked, this, [this] {
        m_codeWanted = true;
        if (m_stop)
            m_stop();
    });
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

void OAuthSignInDialog::openAddress(const QUrl& address)
{
    if (!QDesktopServices::openUrl(address))
        showStatus(QStringLiteral("No browser opened: open this address yourself."));
    m_address->setText(QStringLiteral("<a href=\"%1\">Open the sign-in page again</a>")
                           .arg(address.toString(QUrl::FullyEncoded).toHtmlEscaped()));
    m_address->show();
}

void OAuthSignInDialog::showDeviceCode(const QString& userCode, const QUrl& address,
                                       const QUrl& completeAddress)
{
    m_useCode->hide();
    m_code->setText(userCode);
    m_code->show();
    const QUrl link =
        completeAddress.isValid() && !completeAddress.isEmpty() ? completeAddress : address;
    m_address->setText(QStringLiteral("Enter the code at <a href=\"%1\">%2</a>")
                           .arg(link.toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                address.toDisplayString().toHtmlEscaped()));
    m_address->show();
}

void OAuthSignInDialog::showStatus(const QString& line)
{
    m_status->setText(line);
}

void OAuthSignInDialog::offerCode(bool offered)
{
    m_useCode->setVisible(offered);
}

void OAuthSignInDialog::reject()
{
    if (m_stop)
        m_stop();
    QDialog::reject();
}

bool OAuthSignInDialog::signIn(QWidget* parent, MailServerSide side)
{
    const OAuthClientSettings client = OAuthClientSettings::fromStore(side);
    const QString missing = client.missingText(side);
    if (!missing.isEmpty()) {
        Services::prompt().notify(missing, Prompt::Icon::Warning);
        return false;
    }
    OAuthSignInDialog dialog(parent, side);
    OAuthSignIn signIn(side, client, dialog);
    dialog.onStop([&signIn] { signIn.cancel(); });
    // Google grants no mail scope to a sign-in with a code.
    const bool hasDevice =
        !client.deviceEndpoint.isEmpty() && client.provider != OAuthProvider::Google;
    auto flow = client.authorizationEndpoint.isEmpty() ? OAuthSignIn::Flow::DeviceCode
                                                       : OAuthSignIn::Flow::Browser;
    dialog.setModal(true);
    dialog.show();
    for (;;) {
        dialog.offerCode(flow == OAuthSignIn::Flow::Browser && hasDevice);
        try {
            signIn.run(flow);
            dialog.hide();
            Services::prompt().notify(
                QStringLiteral("Signed in: the program keeps the sign-in for the %1 server and "
                               "renews its access by itself.")
                    .arg(sideName(side)));
            return true;
        } catch (const KestrelError& error) {
            if (dialog.codeWanted() && flow == OAuthSignIn::Flow::Browser) {
                flow = OAuthSignIn::Flow::DeviceCode;
                continue;
            }
            const bool cancelled = !dialog.isVisible();
            dialog.hide();
            if (!cancelled)
                Services::prompt().notify(error.message(), Prompt::Icon::Warning);
            return false;
        }
    }
}
