#include "sequence/HeadlessSignIn.h"

#include "core/KestrelCommandLine.h"
#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/Services.h"
#include "core/SettingsDatabase.h"
#include "transport/OAuthSignIn.h"
#include "transport/SignInView.h"

#include <QTextStream>

namespace {

class TerminalSignInView : public SignInView
{
public:
    explicit TerminalSignInView(QTextStream& out) : m_out(out) {}

    void openAddress(const QUrl& address) override
    {
        m_out << QStringLiteral("Open this address in a browser on this computer and sign in:")
              << Qt::endl
              << address.toString(QUrl::FullyEncoded) << Qt::endl;
    }
    void showDeviceCode(const QString& userCode, const QUrl& address,
                        const QUrl& completeAddress) override
    {
        m_out << QStringLiteral("On any device, open %1 and enter the code %2")
                     .arg(address.toString(QUrl::FullyEncoded), userCode)
              << Qt::endl;
        if (!completeAddress.isEmpty())
            m_out << QStringLiteral("(or open %1, which has the code in it)")
                         .arg(completeAddress.toString(QUrl::FullyEncoded))
                  << Qt::endl;
    }
    void showStatus(const QString& line) override { m_out << line << Qt::endl; }

private:
    QTextStream& m_out;
};

} // namespace

namespace HeadlessSignIn {

int run(QTextStream& out, const KestrelCommandLine& commandLine)
{
    const QString problem = SettingsDatabase::openProblem();
    if (!problem.isEmpty()) {
        Services::prompt().notify(problem, Prompt::Icon::Error);
        return NotStarted;
    }
    const MailServerSide side = commandLine.signInServer() == QLatin1String("imap")
                                    ? MailServerSide::Imap
                                    : MailServerSide::Smtp;
    const OAuthClientSettings client = OAuthClientSettings::fromStore(side);
    const QString missing = client.missingText(side);
    if (!missing.isEmpty()) {
        Services::prompt().notify(missing, Prompt::Icon::Error);
        return NotStarted;
    }
    TerminalSignInView view(out);
    OAuthSignIn signIn(side, client, view);
    try {
        signIn.run(commandLine.signInWithBrowser() ? OAuthSignIn::Flow::Browser
                                                   : signIn.preferredFlow());
        return SignedIn;
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        return Failed;
    }
}

} // namespace HeadlessSignIn
