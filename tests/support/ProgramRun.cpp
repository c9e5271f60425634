#include "support/ProgramRun.h"

#include <QProcess>
#include <QProcessEnvironment>

ProgramRun ProgramRun::run(const QStringList& arguments, const QString& program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(variable));
    environment.insert(QStringLiteral("KESTREL_FAKE_PLATFORM"), QStringLiteral("1"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KESTREL_BINARY_DIR "/src/app/") + program, arguments);
    ProgramRun finished;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return finished;
    finished.exitCode = process.exitCode();
    finished.out = QString::fromUtf8(process.readAllStandardOutput());
    finished.errors = QString::fromUtf8(process.readAllStandardError());
    return finished;
}
