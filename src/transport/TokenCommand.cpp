#include "transport/TokenCommand.h"

#include "core/ExecLine.h"
#include "core/KestrelError.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace {

// More than any token; a command that prints more is not read further.
constexpr qint64 MaxOutputBytes = 64 * 1024;

QString failure(const QString& protocol, const QString& what)
{
    return QStringLiteral("The token command for the %1 server %2.").arg(protocol, what);
}

} // namespace

QString TokenCommand::run(const QString& commandLine, const QString& protocol, int timeoutMs)
{
    const std::optional<QStringList> arguments = splitExecLine(commandLine.trimmed());
    if (!arguments)
        throw KestrelError(
            failure(protocol, commandLine.trimmed().isEmpty()
                                  ? QStringLiteral("is empty")
                                  : QStringLiteral("has a quote that is not closed")));
    const QDeadlineTimer deadline(timeoutMs);
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    // A group of its own, so that a time-out stops what the command started as well.
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(arguments->constFirst(), arguments->mid(1));
    if (!process.waitForStarted(static_cast<int>(deadline.remainingTime())))
        throw KestrelError(
            failure(protocol, QStringLiteral("could not start: %1").arg(process.errorString())));
    if (!process.waitForFinished(static_cast<int>(deadline.remainingTime()))) {
        ::kill(-static_cast<pid_t>(process.processId()), SIGKILL);
        process.waitForFinished(-1);
        throw KestrelError(failure(
            protocol, QStringLiteral("did not finish within %1 seconds").arg(timeoutMs / 1000.0)));
    }
    const QByteArray output = process.readAllStandardOutput().left(MaxOutputBytes);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString said = QString::fromUtf8(process.readAllStandardError().left(1000))
                                 .trimmed()
                                 .section(QLatin1Char('\n'), 0, 0);
        throw KestrelError(failure(
            protocol, process.exitStatus() != QProcess::NormalExit
                          ? QStringLiteral("stopped with a fault")
                          : QStringLiteral("exited with status %1%2")
                                .arg(process.exitCode())
                                .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said)));
    }
    const QString token = QString::fromUtf8(output).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (token.isEmpty())
        throw KestrelError(failure(protocol, QStringLiteral("printed no token")));
    return token;
}
