#include "winintegration/GnomeSessionClient.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
const QString Service = QStringLiteral("org.gnome.SessionManager");
const QString ManagerPath = QStringLiteral("/org/gnome/SessionManager");
const QString ManagerInterface = QStringLiteral("org.gnome.SessionManager");
const QString ClientInterface = QStringLiteral("org.gnome.SessionManager.ClientPrivate");
} // namespace

GnomeSessionClient::GnomeSessionClient(std::function<bool()> mayEnd, QObject* parent)
    : QObject(parent), m_mayEnd(std::move(mayEnd))
{}

GnomeSessionClient::~GnomeSessionClient()
{
    // A client that goes without a word leaves the session manager waiting for its
    // answers until it notices the name has gone.
    if (isRegistered())
        unregisterClient();
}

bool GnomeSessionClient::isAvailable()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(Service).value();
}

void GnomeSessionClient::setRegistered(bool registered)
{
    m_wanted = registered;
    if (m_pending)
        return; // onRegistered() follows the wish once the answer is in
    if (registered && !isRegistered())
        registerClient();
    else if (!registered && isRegistered())
        unregisterClient();
}

void GnomeSessionClient::registerClient()
{
    if (!isAvailable())
        return;
    // A program the session started from its autostart folder is given its id in
    // this variable, and hands it back so the session knows it has come up.
    const QString startupId = qEnvironmentVariable("DESKTOP_AUTOSTART_ID");
    qunsetenv("DESKTOP_AUTOSTART_ID");
    QDBusMessage call = QDBusMessage::createMethodCall(Service, ManagerPath, ManagerInterface,
                                                       QStringLiteral("RegisterClient"));
    call << QCoreApplication::applicationName().toLower() << startupId;
    m_pending = true;
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) { onRegistered(finished); });
}

void GnomeSessionClient::onRegistered(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    m_pending = false;
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError()) {
        qWarning("The session manager refused to register the program: %s",
                 qPrintable(reply.error().message()));
        return;
    }
    m_clientPath = reply.value();
    connectClientSignals(true);
    Q_EMIT registeredChanged(true);
    if (!m_wanted)
        unregisterClient();
}

void GnomeSessionClient::unregisterClient()
{
    connectClientSignals(false);
    QDBusMessage call = QDBusMessage::createMethodCall(Service, ManagerPath, ManagerInterface,
                                                       QStringLiteral("UnregisterClient"));
    call << QVariant::fromValue(m_clientPath);
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
    m_clientPath = QDBusObjectPath();
    Q_EMIT registeredChanged(false);
}

void GnomeSessionClient::connectClientSignals(bool connect)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString path = m_clientPath.path();
    const struct
    {
        const char* name;
        const char* slot;
    } signalsOfClient[] = {{"QueryEndSession", SLOT(onQueryEndSession(uint))},
                           {"EndSession", SLOT(onEndSession(uint))},
                           {"Stop", SLOT(onStop())}};
    for (const auto& signal : signalsOfClient) {
        const QString name = QString::fromLatin1(signal.name);
        if (connect)
            bus.connect(Service, path, ClientInterface, name, this, signal.slot);
        else
            bus.disconnect(Service, path, ClientInterface, name, this, signal.slot);
    }
}

void GnomeSessionClient::respond(bool mayEnd, const QString& reason)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        Service, m_clientPath.path(), ClientInterface, QStringLiteral("EndSessionResponse"));
    call << mayEnd << reason;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

void GnomeSessionClient::onQueryEndSession(uint)
{
    const bool mayEnd = m_mayEnd();
    // The reason is what the session's dialog shows next to the program's name.
    respond(mayEnd, mayEnd ? QString() : QStringLiteral("Backing up before the session ends"));
}

void GnomeSessionClient::onEndSession(uint)
{
    // The session ends whatever the answer; an answer lets it go on at once.
    respond(true, QString());
}

void GnomeSessionClient::onStop()
{
    Q_EMIT stopRequested();
}
