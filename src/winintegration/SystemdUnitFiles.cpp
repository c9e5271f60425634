#include "winintegration/SystemdUnitFiles.h"

#include "core/BackUpSchedule.h"
#include "winintegration/DesktopFiles.h"

#include <QStandardPaths>

QString SystemdUnitFiles::unitBaseName(const QString& editionName)
{
    QString edition = editionName.toLower();
    if (edition.startsWith(QLatin1String("kestrel")) && edition.size() > 7)
        edition.remove(0, 7);
    return QStringLiteral("kestrel-") + edition;
}

QString SystemdUnitFiles::unitFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/systemd/user");
}

QString SystemdUnitFiles::timerPath(const QString& editionName)
{
    return unitFolder() + QLatin1Char('/') + unitBaseName(editionName) + QStringLiteral(".timer");
}

QString SystemdUnitFiles::servicePath(const QString& editionName)
{
    return unitFolder() + QLatin1Char('/') + unitBaseName(editionName) + QStringLiteral(".service");
}

QString SystemdUnitFiles::timerText(const BackUpSchedule& schedule, const QString& editionName)
{
    return QStringLiteral("[Unit]\n"
                          "Description=%1 back up sequence on a schedule\n"
                          "\n"
                          "[Timer]\n"
                          "OnCalendar=%2\n"
                          "Persistent=true\n"
                          "RandomizedDelaySec=2min\n"
                          "Unit=%3.service\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=timers.target\n")
        .arg(editionName, schedule.onCalendar(), unitBaseName(editionName));
}

QString SystemdUnitFiles::quoteExecArgument(const QString& argument)
{
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            quoted += QLatin1Char('\\');
        else if (c == QLatin1Char('%') || c == QLatin1Char('$'))
            quoted += c;
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString SystemdUnitFiles::serviceText(const QString& editionName, const QString& executable)
{
    return QStringLiteral("[Unit]\n"
                          "Description=%1 back up sequence\n"
                          "\n"
                          "[Service]\n"
                          "Type=oneshot\n"
                          "ExecStart=%2 --run --no-shut-down\n")
        .arg(editionName, quoteExecArgument(executable));
}

void SystemdUnitFiles::write(const BackUpSchedule& schedule, const QString& editionName,
                             const QString& executable)
{
    DesktopFiles::write(servicePath(editionName), serviceText(editionName, executable));
    DesktopFiles::write(timerPath(editionName), timerText(schedule, editionName));
}

void SystemdUnitFiles::remove(const QString& editionName)
{
    DesktopFiles::removeIfPresent(timerPath(editionName));
    DesktopFiles::removeIfPresent(servicePath(editionName));
}
