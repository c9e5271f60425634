#include "core/KestrelCommandLine.h"

#include <QCoreApplication>

KestrelCommandLine::KestrelCommandLine(const QStringList& arguments)
    : m_run(QStringLiteral("run"),
            QStringLiteral("Run one back up sequence with the stored settings and lists, "
                           "without a window, and exit: 0 when it succeeded, 1 when it "
                           "failed, 2 when it could not start.")),
      m_full(QStringLiteral("full"), QStringLiteral("With --run: a full back up instead of an "
                                                    "incremental one."))
{
    m_parser.setApplicationDescription(
        QStringLiteral("%1 backs up the files and folders you choose. Without options it "
                       "opens its window.")
            .arg(QCoreApplication::applicationName()));
    const QCommandLineOption help = m_parser.addHelpOption();
    const QCommandLineOption version = m_parser.addVersionOption();
    m_parser.addOption(m_run);
    m_parser.addOption(m_full);

    if (!m_parser.parse(arguments)) {
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
    } else if (m_parser.isSet(m_run)) {
        m_action = Action::RunSequence;
    } else if (m_parser.isSet(m_full)) {
        m_action = Action::Refuse;
        m_error = QStringLiteral("--full goes with --run.");
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
