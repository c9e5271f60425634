#include "winintegration/SecretServiceStore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QThread>

#include <qt6keychain/keychain.h>

#include <chrono>
#include <condition_variable>
#include <memory>

namespace {

const QString SecretsService = QStringLiteral("org.freedesktop.secrets");
// A question about the keyring's state needs no user, so it is given less time.
constexpr int StateQueryTimeoutMs = 5000;

struct Pending
{
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    SecretStore::Reading reading;
};

SecretStore::Outcome outcomeOf(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError:
        return SecretStore::Outcome::Done;
    case QKeychain::EntryNotFound:
        return SecretStore::Outcome::Missing;
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        return SecretStore::Outcome::Locked;
    default:
        return SecretStore::Outcome::Unanswered;
    }
}

QThread* keyringThread = nullptr;

void stopKeyringThread()
{
    keyringThread->quit();
    keyringThread->wait();
}

// QtKeychain queues every job of the process on the thread that ran its first one, so
// the jobs' thread lives as long as the application: started at the first job, ended
// with the application object.
QObject* jobContext()
{
    static QObject* const context = [] {
        keyringThread = new QThread;
        keyringThread->setObjectName(QStringLiteral("keyring"));
        auto* made = new QObject;
        made->moveToThread(keyringThread);
        keyringThread->start();
        qAddPostRoutine(stopKeyringThread);
        return made;
    }();
    return context;
}

} // namespace

SecretServiceStore::SecretServiceStore(int timeoutMs) : m_timeoutMs(timeoutMs)
{}

SecretStore::Outcome SecretServiceStore::availability(const Item& probe)
{
    const std::lock_guard lock(m_availabilityMutex);
    if (m_availability)
        return *m_availability;
    // Reading an item opens the keyring; where it holds the item but is locked, the
    // desktop asks the user to unlock it. A keyring without the item answers Missing
    // whether locked or not, so its state is asked for.
    Outcome outcome = run(Operation::Read, probe).outcome;
    if (outcome == Outcome::Missing)
        outcome = defaultCollectionLocked() ? Outcome::Locked : Outcome::Done;
    m_availability = outcome;
    return outcome;
}

SecretStore::Reading SecretServiceStore::read(const Item& item)
{
    return run(Operation::Read, item);
}

SecretStore::Outcome SecretServiceStore::write(const Item& item, const QString& value)
{
    return run(Operation::Write, item, value).outcome;
}

SecretStore::Outcome SecretServiceStore::remove(const Item& item)
{
    const Outcome outcome = run(Operation::Remove, item).outcome;
    return outcome == Outcome::Missing ? Outcome::Done : outcome;
}

SecretStore::Reading SecretServiceStore::run(Operation operation, const Item& item,
                                             const QString& value)
{
    if (m_gaveUp)
        return {Outcome::Unanswered, {}};

    // The item's label is the job's service: QtKeychain labels the item with it.
    auto pending = std::make_shared<Pending>();
    QMetaObject::invokeMethod(
        jobContext(),
        [pending, operation, item, value] {
            QKeychain::Job* job = nullptr;
            switch (operation) {
            case Operation::Read:
                job = new QKeychain::ReadPasswordJob(item.label);
                break;
            case Operation::Write: {
                auto* writeJob = new QKeychain::WritePasswordJob(item.label);
                writeJob->setTextData(value);
                job = writeJob;
                break;
            }
            case Operation::Remove:
                job = new QKeychain::DeletePasswordJob(item.label);
                break;
            }
            job->setKey(item.key);
            job->setAutoDelete(true);
            QObject::connect(
                job, &QKeychain::Job::finished, job,
                [pending, operation](QKeychain::Job* finished) {
                    const std::lock_guard lock(pending->mutex);
                    pending->reading.outcome = outcomeOf(finished->error());
                    if (operation == Operation::Read && pending->reading.outcome == Outcome::Done)
                        pending->reading.value =
                            static_cast<QKeychain::ReadPasswordJob*>(finished)->textData();
                    pending->done = true;
                    pending->changed.notify_all();
                });
            job->start();
        },
        Qt::QueuedConnection);

    // The caller processes no events meanwhile: an event handled here could ask for a
    // secret again while the first use still settles the store.
    std::unique_lock lock(pending->mutex);
    pending->changed.wait_for(lock, std::chrono::milliseconds(m_timeoutMs),
                              [&pending] { return pending->done; });
    if (!pending->done) {
        m_gaveUp = true;
        return {Outcome::Unanswered, {}};
    }
    return pending->reading;
}

bool SecretServiceStore::defaultCollectionLocked() const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage alias = QDBusMessage::createMethodCall(
        SecretsService, QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("ReadAlias"));
    alias << QStringLiteral("default");
    const QDBusMessage aliasReply = bus.call(alias, QDBus::Block, StateQueryTimeoutMs);
    if (aliasReply.type() != QDBusMessage::ReplyMessage || aliasReply.arguments().isEmpty())
        return false;
    const QString path = qvariant_cast<QDBusObjectPath>(aliasReply.arguments().constFirst()).path();
    // No default collection yet: the first write makes one.
    if (path.isEmpty() || path == QLatin1String("/"))
        return false;
    QDBusMessage locked = QDBusMessage::createMethodCall(
        SecretsService, path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    locked << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    const QDBusMessage lockedReply = bus.call(locked, QDBus::Block, StateQueryTimeoutMs);
    if (lockedReply.type() != QDBusMessage::ReplyMessage || lockedReply.arguments().isEmpty())
        return false;
    return qvariant_cast<QDBusVariant>(lockedReply.arguments().constFirst()).variant().toBool();
}
