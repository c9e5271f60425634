#include "winintegration/FreedesktopNotifications.h"

#include "core/EditionProfile.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>

namespace {
const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
} // namespace

FreedesktopNotifications::FreedesktopNotifications() : m_pending(std::make_unique<QObject>())
{}

FreedesktopNotifications::~FreedesktopNotifications()
{
    // The watchers themselves go with their parent; their handlers need not run.
    const auto watchers = m_pending->findChildren<QDBusPendingCallWatcher*>();
    for (QDBusPendingCallWatcher* watcher : watchers)
        static_cast<QDBusPendingCall&>(*watcher).waitForFinished();
}

void FreedesktopNotifications::notify(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        warnOnce(QStringLiteral("no session bus"));
        return;
    }
    // The launchers install the edition's icon under the edition's name in lower
    // case, which is also the name of its desktop entry.
    const QString edition = currentProfile().name;
    const QString iconName = edition.toLower();
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    // The texts are the program's own sentences and numbers, without the characters
    // that servers with body markup would read as markup.
    call << edition << 0u << iconName << summary << body << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), iconName}} << -1;
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(call, CallTimeoutMs), m_pending.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [this](QDBusPendingCallWatcher* finished) {
                         if (finished->isError())
                             warnOnce(finished->error().message());
                         // Answered: no longer one of the calls outstanding.
                         finished->setParent(nullptr);
                         finished->deleteLater();
                     });
}

bool FreedesktopNotifications::hasPendingCalls() const
{
    return !m_pending->children().isEmpty();
}

void FreedesktopNotifications::warnOnce(const QString& problem)
{
    if (m_warned)
        return;
    m_warned = true;
    qWarning("Desktop notifications are not shown: %s", qPrintable(problem));
}
