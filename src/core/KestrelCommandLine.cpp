#include "core/KestrelCommandLine.h"

#include "core/CertificateFingerprint.h"

#include <QCoreApplication>

KestrelCommandLine::KestrelCommandLine(const QStringList& arguments)
    : m_run(QStringLiteral("run"),
            QStringLiteral("Run one back up sequence with the stored settings and lists, "
                           "without a window, and exit: 0 when it succeeded, 1 when it "
                           "failed, 2 when it could not start.")),
      m_full(QStringLiteral("full"), QStringLiteral("With --run: a full back up instead of an "
                                                    "incremental one.")),
      m_trustCertificate(
          QStringLiteral("trust-certificate"),
          QStringLiteral("Trust the certificate with this SHA-256 fingerprint for the SMTP "
                         "server in the settings, although this computer does not, then exit "
                         "(or, with --run, run the sequence). A run that meets an untrusted "
                         "certificate names its fingerprint."),
          QStringLiteral("SHA256"))
{
    m_parser.setApplicationDescription(
        QStringLiteral("%1 backs up the files and folders you choose. Without options it "
                       "opens its window.")
            .arg(QCoreApplication::applicationName()));
    const QCommandLineOption help = m_parser.addHelpOption();
    const QCommandLineOption version = m_parser.addVersionOption();
    m_parser.addOption(m_run);
    m_parser.addOption(m_full);
    m_parser.addOption(m_trustCertificate);

    const bool parsed = m_parser.parse(arguments);
    if (parsed && m_parser.isSet(m_trustCertificate))
        m_certificateToTrust = CertificateFingerprint::parse(m_parser.value(m_trustCertificate));
    if (!parsed) {
        m_action = Action::Refuse;
        m_error = m_parser.errorText();
    } else if (m_parser.isSet(help) || m_parser.isSet(QStringLiteral("help-all"))) {
        m_action = Action::ShowHelp;
    } else if (m_parser.isSet(version)) {
        m_action = Action::ShowVersion;
    } else if (!m_parser.positionalArguments().isEmpty()) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("Unexpected argument: %1")
                      .arg(m_parser.positionalArguments().constFirst());
    } else if (m_parser.isSet(m_trustCertificate) && m_certificateToTrust.isEmpty()) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--trust-certificate takes a SHA-256 fingerprint: 64 "
                                 "hexadecimal digits, in pairs separated by \":\" or not.");
    } else if (m_parser.isSet(m_run)) {
        m_action = Action::RunSequence;
    } else if (m_parser.isSet(m_full)) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--full goes with --run.");
    } else if (m_parser.isSet(m_trustCertificate)) {
        m_action = Action::TrustCertificate;
    }
}

bool KestrelCommandLine::fullBackUp() const
{
    return m_parser.isSet(m_full);
}

QString KestrelCommandLine::versionText()
{
    return QCoreApplication::applicationName() + QLatin1Char(' ') +
           QCoreApplication::applicationVersion();
}
