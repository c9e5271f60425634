#include "winintegration/LogindPowerOff.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>

namespace {
const QString Service = QStringLiteral("org.freedesktop.login1");
const QString Path = QStringLiteral("/org/freedesktop/login1");
const QString Manager = QStringLiteral("org.freedesktop.login1.Manager");
} // namespace

QString LogindPowerOff::powerOff()
{
    const QString noBus = QStringLiteral("OpenProcessToken failed.");
    const QString noRights = QStringLiteral("No rights to continue");
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(Service).value())
        return noBus;

    QDBusInterface manager(Service, Path, Manager, bus);
    const QDBusReply<QString> can = manager.call(QStringLiteral("CanPowerOff"));
    if (!can.isValid())
        return noBus;
    if (can.value() == QLatin1String("no") || can.value() == QLatin1String("challenge"))
        return noRights;

    const QDBusMessage reply = manager.call(QStringLiteral("PowerOff"), false);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString error = reply.errorName();
        if (error.endsWith(QLatin1String(".AccessDenied")) ||
            error.endsWith(QLatin1String(".InteractiveAuthorizationRequired")))
            return noRights;
        return QStringLiteral("AdjustTokenPrivileges enable failed.");
    }
    return {};
}
