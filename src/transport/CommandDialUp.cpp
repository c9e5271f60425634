#include "transport/CommandDialUp.h"

#include "core/QuayRegistryObject.h"

#include <QNetworkInformation>
#include <QProcess>

bool CommandDialUp::runCommand(const QString& commandLine, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine});
    if (!process.waitForStarted(timeoutMs))
        return false;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool CommandDialUp::dial()
{
    const QString command = TQuayRegistryObject().ReadDialUpCommand();
    return command.trimmed().isEmpty() || runCommand(command);
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
        runCommand(command);
}
