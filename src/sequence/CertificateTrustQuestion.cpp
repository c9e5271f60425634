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

void CertificateTrustQuestion::connect(const std::function<void()>& connectStep)
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
                throw KestrelError(unattendedText(error));
            if (prompt.ask(questionText(error), Prompt::Buttons::YesNoDefaultNo,
                           Prompt::Icon::Warning) != Prompt::Answer::Yes)
                throw;
            ServerCertificateTrust::trust(error.host(), error.port(), error.digest());
        }
    }
}

QString CertificateTrustQuestion::questionText(const UntrustedCertificateError& error)
{
    const QString server = smtpServerText(error.host(), error.port());
    const QString reasons = certificateProblemText(error.errors(), error.host());
    QString text;
    if (error.trustedBefore().isEmpty()) {
        text = QStringLiteral("The SMTP server %1 showed a certificate that this computer does "
                              "not trust: %2.")
                   .arg(server, reasons);
    } else {
        text = QStringLiteral("The certificate of the SMTP server %1 has changed since you "
                              "trusted it (then SHA-256 fingerprint %2), and this computer does "
                              "not trust the new one: %3.")
                   .arg(server, CertificateFingerprint::text(error.trustedBefore()), reasons);
    }
    return text + QStringLiteral("\n\nServer: %1\n%2\n\nDo you trust this certificate for %1? "
                                 "Answer Yes only if you know it is your server's.")
                      .arg(server, CertificateDescription::details(error.certificate()));
}

QString CertificateTrustQuestion::unattendedText(const UntrustedCertificateError& error)
{
    const QString fingerprint = CertificateFingerprint::text(error.digest());
    const QString changed =
        error.trustedBefore().isEmpty()
            ? QString()
            : QStringLiteral(" The server's certificate has changed since it was trusted.");
    return error.message() + changed +
           QStringLiteral(" Its SHA-256 fingerprint is %1. To trust it for this server, "
                          "connect once from the %2 window and answer Yes, or run: %3 "
                          "--trust-certificate %1")
               .arg(fingerprint, QCoreApplication::applicationName(),
                    QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}
