#include "core/KestrelCommandLine.h"

#include "core/CertificateFingerprint.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

namespace {

// The name --restore's DATE goes by while parsing: the built-in --version is a flag.
const QString RestoreVersionName = QStringLiteral("restore-version");

// With --restore, "--version DATE" (or "--version=DATE") names the version to restore;
// elsewhere --version shows the program's version.
QStringList withRestoreVersion(QStringList arguments)
{
    const bool restoring = std::any_of(arguments.cbegin(), arguments.cend(), [](const QString& a) {
        return a == QLatin1String("--restore") || a.startsWith(QLatin1String("--restore="));
    });
    if (!restoring)
        return arguments;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString& argument = arguments[i];
        if (argument == QLatin1String("--"))
            break;
        // A --version with no date after it stays the flag, and is refused with --restore.
        const bool dateFollows =
            i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1Char('-'));
        if (argument == QLatin1String("--version") && dateFollows)
            argument = QStringLiteral("--") + RestoreVersionName;
        else if (argument.startsWith(QLatin1String("--version=")))
            argument = QStringLiteral("--") + RestoreVersionName + argument.mid(9);
    }
    return arguments;
}

} // namespace

KestrelCommandLine::KestrelCommandLine(const QStringList& arguments)
    : m_run(QStringLiteral("run"),
            QStringLiteral("Run one back up sequence with the stored settings and lists, "
                           "without a window, and exit: 0 when it succeeded, 1 when it "
                           "failed, 2 when it could not start.")),
      m_full(QStringLiteral("full"), QStringLiteral("With --run: a full back up instead of an "
                                                    "incremental one.")),
      m_dryRun(QStringLiteral("dry-run"),
               QStringLiteral("With --run: list the files the sequence would back up and what "
                              "the exclusions leave out, and why, without packing, sending or "
                              "logging anything.")),
      m_noShutDown(QStringLiteral("no-shut-down"),
                   QStringLiteral("With --run: never shut the computer down afterwards, whatever "
                                  "the settings say (a scheduled run has nobody there to cancel "
                                  "the countdown).")),
      m_trustCertificate(
          QStringLiteral("trust-certificate"),
          QStringLiteral("Trust the certificate with this SHA-256 fingerprint for the SMTP "
                         "server in the settings, although this computer does not, then exit "
                         "(or, with --run, run the sequence). With --list, --restore or --verify: "
                         "for the IMAP server instead. A run that meets an untrusted "
                         "certificate names its fingerprint."),
          QStringLiteral("SHA256")),
      m_list(QStringLiteral("list"),
             QStringLiteral("List the files saved in the mailbox whose path matches PATTERN (all "
                            "without one), one line for each saved version, and exit.")),
      m_restore(QStringLiteral("restore"),
                QStringLiteral("Restore the latest saved version of each file whose path matches "
                               "PATTERN (with --version DATE, the one saved then: yyyy-MM-dd or "
                               "\"yyyy-MM-dd hh:mm[:ss]\") into the folder of --to, and exit: 1 "
                               "when a file failed."),
                QStringLiteral("PATTERN")),
      m_to(QStringLiteral("to"), QStringLiteral("With --restore: the folder to restore into."),
           QStringLiteral("DIR")),
      m_overwrite(QStringLiteral("overwrite"),
                  QStringLiteral("With --restore: write over files that are there already "
                                 "(without it they are kept, and counted as skipped).")),
      m_restoreVersion(RestoreVersionName, QStringLiteral("With --restore: the version's date."),
                       QStringLiteral("DATE")),
      m_verify(QStringLiteral("verify"),
               QStringLiteral("Download N randomly chosen saved versions, check that each opens "
                              "and matches the size of its log record, and exit: 1 on any "
                              "fault."),
               QStringLiteral("N")),
      m_signIn(QStringLiteral("sign-in"),
               QStringLiteral("Sign in to the provider of the smtp or imap server with OAuth2 "
                              "and store the sign-in for --run and the restores: shows an "
                              "address and a code to enter there from any device (for Google: an "
                              "address to open on this computer), waits, and exits 0 when "
                              "signed in."),
               QStringLiteral("SERVER")),
      m_browser(QStringLiteral("browser"),
                QStringLiteral("With --sign-in: sign in in a browser on this computer instead "
                               "of with a code; prints the address to open.")),
      m_scheduleOption(
          QStringLiteral("schedule"),
          QStringLiteral("Run back up sequences on a schedule without the window, also one "
                         "missed while the computer was off: daily@HH:MM, hours:N (every N "
                         "hours, 1 to 23), weekly:Mon,Wed@HH:MM, or off. Prints when the next "
                         "one runs and exits."),
          QStringLiteral("WHEN"))
{
    m_restoreVersion.setFlags(QCommandLineOption::HiddenFromHelp);
    m_parser.setApplicationDescription(
        QStringLiteral("%1 backs up the files and folders you choose. Without options it "
                       "opens its window.")
            .arg(QCoreApplication::applicationName()));
    const QCommandLineOption help = m_parser.addHelpOption();
    const QCommandLineOption version = m_parser.addVersionOption();
    m_parser.addOption(m_run);
    m_parser.addOption(m_full);
    m_parser.addOption(m_dryRun);
    m_parser.addOption(m_noShutDown);
    m_parser.addOption(m_trustCertificate);
    m_parser.addOption(m_list);
    m_parser.addOption(m_restore);
    m_parser.addOption(m_to);
    m_parser.addOption(m_restoreVersion);
    m_parser.addOption(m_overwrite);
    m_parser.addOption(m_verify);
    m_parser.addOption(m_signIn);
    m_parser.addOption(m_browser);
    m_parser.addOption(m_scheduleOption);
    m_parser.addPositionalArgument(QStringLiteral("PATTERN"),
                                   QStringLiteral("With --list: the paths to list."),
                                   QStringLiteral("[PATTERN]"));

    const bool parsed = m_parser.parse(withRestoreVersion(arguments));
    const int mailboxTasks = int(m_parser.isSet(m_list)) + int(m_parser.isSet(m_restore)) +
                             int(m_parser.isSet(m_verify));
    if (parsed && m_parser.isSet(m_trustCertificate))
        m_certificateToTrust = CertificateFingerprint::parse(m_parser.value(m_trustCertificate));
    if (!parsed) {
        m_action = Action::Refuse;
        m_error = m_parser.errorText();
    } else if (m_parser.isSet(help) || m_parser.isSet(QStringLiteral("help-all"))) {
        m_action = Action::ShowHelp;
    } else if (m_parser.isSet(version) && m_parser.isSet(m_restore)) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("With --restore, --version takes the version's date.");
    } else if (m_parser.isSet(version)) {
        m_action = Action::ShowVersion;
    } else if (m_parser.isSet(m_trustCertificate) && m_certificateToTrust.isEmpty()) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--trust-certificate takes a SHA-256 fingerprint: 64 "
                                 "hexadecimal digits, in pairs separated by \":\" or not.");
    } else if (m_parser.isSet(m_scheduleOption) &&
               (m_parser.optionNames().size() > 1 || !m_parser.positionalArguments().isEmpty())) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--schedule goes alone.");
    } else if (m_parser.isSet(m_scheduleOption)) {
        const std::optional<BackUpSchedule> schedule =
            BackUpSchedule::parse(m_parser.value(m_scheduleOption));
        m_action = schedule ? Action::Schedule : Action::Refuse;
        if (schedule)
            m_schedule = *schedule;
        else
            m_error = QStringLiteral("--schedule takes daily@HH:MM, hours:N (N from 1 to 23), "
                                     "weekly:Mon,Wed@HH:MM or off.");
    } else if (m_parser.isSet(m_signIn) &&
               (mailboxTasks > 0 || m_parser.isSet(m_run) || m_parser.isSet(m_full) ||
                m_parser.isSet(m_trustCertificate) || !m_parser.positionalArguments().isEmpty())) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--sign-in goes alone.");
    } else if (m_parser.isSet(m_browser) && !m_parser.isSet(m_signIn)) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--browser goes with --sign-in.");
    } else if (m_parser.isSet(m_signIn)) {
        m_signInServer = m_parser.value(m_signIn).trimmed().toLower();
        const bool known =
            m_signInServer == QLatin1String("smtp") || m_signInServer == QLatin1String("imap");
        m_action = known ? Action::SignIn : Action::Refuse;
        if (!known)
            m_error = QStringLiteral("--sign-in takes the server: smtp or imap.");
    } else if (mailboxTasks > 1 || (mailboxTasks == 1 && m_parser.isSet(m_run))) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--run, --list, --restore and --verify go one at a time.");
    } else if (m_parser.isSet(m_full) && !m_parser.isSet(m_run)) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--full goes with --run.");
    } else if (m_parser.isSet(m_dryRun) && !m_parser.isSet(m_run)) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--dry-run goes with --run.");
    } else if (m_parser.isSet(m_noShutDown) && !m_parser.isSet(m_run)) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--no-shut-down goes with --run.");
    } else if (!m_parser.isSet(m_restore) &&
               (m_parser.isSet(m_to) || m_parser.isSet(m_restoreVersion) ||
                m_parser.isSet(m_overwrite))) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--to and --overwrite go with --restore.");
    } else if (m_parser.isSet(m_list) && m_parser.positionalArguments().size() <= 1) {
        m_action = Action::ListSaved;
        m_pattern = m_parser.positionalArguments().value(0);
    } else if (!m_parser.positionalArguments().isEmpty()) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("Unexpected argument: %1")
                      .arg(m_parser.positionalArguments().constFirst());
    } else if (m_parser.isSet(m_restore)) {
        m_pattern = m_parser.value(m_restore);
        m_action = Action::Refuse;
        if (m_pattern.isEmpty())
            m_error = QStringLiteral("--restore takes a PATTERN of the paths to restore.");
        else if (restoreTarget().isEmpty())
            m_error = QStringLiteral("--restore needs --to DIR, the folder to restore into.");
        else if (m_parser.isSet(m_restoreVersion) && !isVersionDate(restoreVersion()))
            m_error = QStringLiteral("--version takes the version's date: yyyy-MM-dd or "
                                     "\"yyyy-MM-dd hh:mm[:ss]\".");
        else
            m_action = Action::RestoreSaved;
    } else if (m_parser.isSet(m_verify)) {
        bool isNumber = false;
        m_verifyCount = m_parser.value(m_verify).toInt(&isNumber);
        if (isNumber && m_verifyCount > 0) {
            m_action = Action::VerifySaved;
        } else {
            m_action = Action::Refuse;
            m_error = QStringLiteral("--verify takes the number of saved versions to check.");
        }
    } else if (m_parser.isSet(m_run)) {
        m_action = Action::RunSequence;
    } else if (m_parser.isSet(m_trustCertificate)) {
        m_action = Action::TrustCertificate;
    }
}

QString KestrelCommandLine::restoreTarget() const
{
    return m_parser.value(m_to);
}

QString KestrelCommandLine::restoreVersion() const
{
    return m_parser.value(m_restoreVersion).trimmed();
}

bool KestrelCommandLine::isVersionDate(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}( \\d{2}:\\d{2}(:\\d{2})?)?$"));
    if (!form.match(text).hasMatch())
        return false;
    const QString format = text.size() == 10   ? QStringLiteral("yyyy-MM-dd")
                           : text.size() == 16 ? QStringLiteral("yyyy-MM-dd hh:mm")
                                               : QStringLiteral("yyyy-MM-dd hh:mm:ss");
    return QDateTime::fromString(text, format).isValid();
}

bool KestrelCommandLine::overwrite() const
{
    return m_parser.isSet(m_overwrite);
}

bool KestrelCommandLine::signInWithBrowser() const
{
    return m_parser.isSet(m_browser);
}

bool KestrelCommandLine::dryRun() const
{
    return m_parser.isSet(m_dryRun);
}

bool KestrelCommandLine::noShutDown() const
{
    return m_parser.isSet(m_noShutDown);
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
