#include "winintegration/SystemdUserTimer.h"

#include "core/BackUpSchedule.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/ScheduleChoice.h"
#include "winintegration/SystemdUnitFiles.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFileInfo>

#include <limits>

namespace {
const QString Service = QStringLiteral("org.freedesktop.systemd1");
const QString Path = QStringLiteral("/org/freedesktop/systemd1");
const QString Manager = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString TimerInterface = QStringLiteral("org.freedesktop.systemd1.Timer");
const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");

QString timerUnit()
{
    return SystemdUnitFiles::unitBaseName(currentProfile().name) + QStringLiteral(".timer");
}
} // namespace

bool SystemdUserTimer::available()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(Service).value();
}

void SystemdUserTimer::callManager(const QString& method, const QVariantList& arguments)
{
    QDBusInterface manager(Service, Path, Manager, QDBusConnection::sessionBus());
    const QDBusMessage reply = manager.callWithArgumentList(QDBus::Block, method, arguments);
    if (reply.type() == QDBusMessage::ErrorMessage)
        throw KestrelError(
            QCoreApplication::translate("SystemdUserTimer", "The user's systemd did not %1 %2: %3")
                .arg(method, timerUnit(), reply.errorMessage()));
}

void SystemdUserTimer::apply(const BackUpSchedule& schedule)
{
    if (!schedule.isComplete() || schedule.kind == BackUpSchedule::Kind::Off)
        throw KestrelError(QCoreApplication::translate(
            "SystemdUserTimer", "A weekly schedule needs at least one day."));
    if (!available())
        throw KestrelError(QCoreApplication::translate(
            "SystemdUserTimer", "No systemd user instance answers on the session bus."));
    SystemdUnitFiles::write(schedule, currentProfile().name, ScheduleChoice::runningExecutable());
    callManager(QStringLiteral("Reload"), {});
    callManager(QStringLiteral("EnableUnitFiles"), {QStringList{timerUnit()}, false, true});
    // A restart, so a timer that was already running takes the new times at once.
    callManager(QStringLiteral("RestartUnit"), {timerUnit(), QStringLiteral("replace")});
}

void SystemdUserTimer::remove()
{
    const QString editionName = currentProfile().name;
    if (available()) {
        const bool installed = QFileInfo::exists(SystemdUnitFiles::timerPath(editionName));
        if (installed) {
            callManager(QStringLiteral("StopUnit"), {timerUnit(), QStringLiteral("replace")});
            callManager(QStringLiteral("DisableUnitFiles"), {QStringList{timerUnit()}, false});
        }
        SystemdUnitFiles::remove(editionName);
        if (installed)
            callManager(QStringLiteral("Reload"), {});
        return;
    }
    SystemdUnitFiles::remove(editionName);
}

std::optional<QDateTime> SystemdUserTimer::nextRun()
{
    if (!available())
        return std::nullopt;
    QDBusInterface manager(Service, Path, Manager, QDBusConnection::sessionBus());
    const QDBusReply<QDBusObjectPath> unit = manager.call(QStringLiteral("GetUnit"), timerUnit());
    if (!unit.isValid())
        return std::nullopt;
    QDBusInterface properties(Service, unit.value().path(), Properties,
                              QDBusConnection::sessionBus());
    const QDBusReply<QDBusVariant> next = properties.call(QStringLiteral("Get"), TimerInterface,
                                                          QStringLiteral("NextElapseUSecRealtime"));
    if (!next.isValid())
        return std::nullopt;
    const qulonglong microseconds = next.value().variant().toULongLong();
    // Zero and the largest value both mean that no run is due.
    if (microseconds == 0 || microseconds == std::numeric_limits<qulonglong>::max())
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(microseconds / 1000));
}
