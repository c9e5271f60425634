#include "winintegration/FileManagerHelper.h"

#include "winintegration/FileManagerAddition.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QVariantMap>

#include <cstdio>

namespace {

// A session bus is only asked for when one is announced, so a helper run from a plain
// terminal or a test never starts one or waits for one.
bool sessionBusAnnounced()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFile::exists(runtime + QStringLiteral("/bus"));
}

// A plain call to the desktop's notification server; no answer, no server or no bus
// only costs the notification.
void notifyDesktop(const QString& summary, const QString& body, bool problem)
{
    if (!sessionBusAnnounced())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString icon =
        problem ? QStringLiteral("dialog-warning") : QCoreApplication::applicationName().toLower();
    call << QCoreApplication::applicationName() << uint(0) << icon << summary << body
         << QStringList() << QVariantMap() << int(-1);
    bus.call(call, QDBus::Block, 3000);
}

} // namespace

int runFileManagerHelper(int argc, char* argv[], const QString& editionName)
{
    QCoreApplication::setApplicationName(editionName);
    QCoreApplication::setOrganizationName(QStringLiteral("Orrery"));
    const QCoreApplication application(argc, argv);
    QStringList paths = QCoreApplication::arguments();
    paths.removeFirst();

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (paths.isEmpty()) {
        err << QStringLiteral("Usage: %1 FILE-OR-FOLDER...")
                   .arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
            << Qt::endl;
        return 2;
    }
    const FileManagerAddition::Result result = FileManagerAddition::add(paths);
    const QString summary = FileManagerAddition::summaryLine(result, editionName);
    out << summary << Qt::endl;
    for (const QString& refusal : result.refused)
        err << refusal << Qt::endl;
    const bool problem = !result.refused.isEmpty() || !result.failedLists.isEmpty();
    QStringList body{summary};
    body += result.refused;
    notifyDesktop(editionName, body.join(u'\n'), problem);
    return problem ? 1 : 0;
}
