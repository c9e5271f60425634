#include "sequence/CertificateTrustQuestion.h"

#include "core/CertificateFingerprint.h"
#include "core/Prompt.h"
#include "core/Services.h"
#include "transport/CertificateDescription.h"
#include "transport/ServerCertificateTrust.h"
#include "transport/SmtpProblemText.h"
#include "transport/UntrustedCertificateError.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

QString kindOf(TrustedServer server)
{
    return server == TrustedServer::Imap ? QStringLiteral("IMAP") : QStringLiteral("SMTP");
}

} // namespace

void CertificateTrustQuestion::connect(const std::function<void()>& connectStep,
                                       TrustedServer server)
{
    // Each Yes stores what was shown; a server that shows yet another certificate
    // on the next connection is asked about again.
    for (;;) {
        try {
            connectStep();
            return;
        } catch (const UntrustedCertificateError& error) {
            Prompt& prompt = Services::prompt();
            if (!prompt.answersQuestions())
                throw KestrelError(unattendedText(error, server));
            if (prompt.ask(questionText(error, server), Prompt::Buttons::YesNoDefaultNo,
                           Prompt::Icon::Warning) != Prompt::Answer::Yes)
                throw;
            ServerCertificateTrust::trust(error.host(), error.port(), error.digest(), server);
        }
    }
}

QString CertificateTrustQuestion::questionText(const UntrustedCertificateError& error,
                                               TrustedServer kind)
{
    const QString server = smtpServerText(error.host(), error.port());
    const QString reasons = certificateProblemText(error.errors(), error.host());
    QString text;
    if (error.trustedBefore().isEmpty()) {
        text = QStringLiteral("The %3 server %1 showed a certificate that this computer does "
                              "not trust: %2.")
                   .arg(server, reasons, kindOf(kind));
    } else {
        text = QStringLiteral("The certificate of the %4 server %1 has changed since you "
                              "trusted it (then SHA-256 fingerprint %2), and this computer does "
                              "not trust the new one: %3.")
                   .arg(server, CertificateFingerprint::text(error.trustedBefore()), reasons,
                        kindOf(kind));
    }
    return text + QStringLiteral("\n\nServer: %1\n%2\n\nDo you trust this certificate for %1? "
                                 "Answer Yes only if you know it is your server's.")
                      .arg(server, CertificateDescription::details(error.certificate()));
}

QString CertificateTrustQuestion::unattendedText(const UntrustedCertificateError& error,
                                                 TrustedServer server)
{
    const QString fingerprint = CertificateFingerprint::text(error.digest());
    const QString changed =
        error.trustedBefore().isEmpty()
            ? QString()
            : QStringLiteral(" The server's certificate has changed since it was trusted.");
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    // The restore options apply --trust-certificate to the mailbox's server.
    const QString command =
        server == TrustedServer::Imap
            ? QStringLiteral("%1 --trust-certificate %2 --list").arg(program, fingerprint)
            : QStringLiteral("%1 --trust-certificate %2").arg(program, fingerprint);
    return error.message() + changed +
           QStringLiteral(" Its SHA-256 fingerprint is %1. To trust it for this server, "
                          "connect once from the %2 window and answer Yes, or run: %3")
               .arg(fingerprint, QCoreApplication::applicationName(), command);
}
