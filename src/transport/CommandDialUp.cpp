#include "transport/CommandDialUp.h"

#include "core/QuayRegistryObject.h"

#include <QDeadlineTimer>
#include <QNetworkInformation>
#include <QProcess>

#include <csignal>
#include <unistd.h>

bool CommandDialUp::runCommand(const QString& commandLine, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QProcess process;
    // Output nobody reads would pile up in memory; a dial script may also print
    // what it logs in with.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // A session of its own, so that a time-out stops the whole group and not just
    // the shell, which would leave a hanging dialler behind.
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine});
    if (!process.waitForStarted(static_cast<int>(deadline.remainingTime())))
        return false;
    if (!process.waitForFinished(static_cast<int>(deadline.remainingTime()))) {
        ::kill(-static_cast<pid_t>(process.processId()), SIGKILL);
        process.waitForFinished(-1);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool CommandDialUp::dial()
{
    const QString command = TQuayRegistryObject().ReadDialUpCommand();
    return command.trimmed().isEmpty() || runCommand(command, m_timeoutMs);
}

bool CommandDialUp::attemptConnect()
{
    // Only a backend that knows the machine is offline says no; an unknown state
    // lets the SMTP connection itself decide.
    if (!QNetworkInformation::instance() && !QNetworkInformation::loadDefaultBackend())
        QNetworkInformation::loadBackendByName(u"glib");
    const QNetworkInformation* info = QNetworkInformation::instance();
    return !info || info->reachability() != QNetworkInformation::Reachability::Disconnected;
}

void CommandDialUp::hangUp()
{
    const QString command = TQuayRegistryObject().ReadHangUpCommand();
    if (!command.trimmed().isEmpty())
        runCommand(command, m_timeoutMs);
}
