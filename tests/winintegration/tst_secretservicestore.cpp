#include "core/QuayRegistryObject.h"
#include "core/SecretKeeping.h"
#include "core/Services.h"
#include "core/SettingsDatabase.h"
#include "support/PrivateKeyring.h"
#include "support/TestEnvironment.h"
#include "winintegration/SecretServiceStore.h"

#include <QFile>
#include <QtTest>

#include <csignal>
#include <memory>

// The keyring through a real gnome-keyring-daemon of the test's own (on a PrivateDBus):
// items written, read and removed, the secrets of an older settings database moved
// into it, a keyring that hangs, and a locked keyring that loses nothing.
class TestSecretServiceStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PrivateKeyring> m_keyring;

    struct Installed
    {
        TestEnvironment env;
        SecretServiceStore store;
        std::unique_ptr<ScopedServices> services;
        Installed()
        {
            Services::Set set = Services::current();
            set.secretStore = &store;
            services = std::make_unique<ScopedServices>(set);
        }
    };

    static QByteArray databaseBytes()
    {
        QByteArray bytes;
        for (const QString& suffix : {QString(), QStringLiteral("-wal")}) {
            QFile file(SettingsDatabase::defaultPath() + suffix);
            if (file.open(QIODevice::ReadOnly))
                bytes += file.readAll();
        }
        return bytes;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = std::make_unique<PrivateKeyring>();
        if (m_keyring->address().isEmpty())
            QSKIP(qPrintable(QStringLiteral("no gnome-keyring-daemon of the test's own: ") +
                             m_keyring->errorText()));
        // Set before the first use of the session bus in this process.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_keyring->address().toUtf8());
    }

    void cleanupTestCase()
    {
        // The keyring's client library ends the process when its bus goes away.
        std::signal(SIGTERM, SIG_IGN);
        m_keyring.reset();
    }

    void itemsAreWrittenReadAndRemoved()
    {
        SecretServiceStore store;
        const SecretStore::Item item{QStringLiteral("KestrelSolo zip file password"),
                                     QStringLiteral("UserZipPassword")};
        QCOMPARE(store.availability(item), SecretStore::Outcome::Done);
        QCOMPARE(store.read(item).outcome, SecretStore::Outcome::Missing);
        QCOMPARE(store.write(item, QStringLiteral("zip pässword")), SecretStore::Outcome::Done);
        const SecretStore::Reading read = store.read(item);
        QCOMPARE(read.outcome, SecretStore::Outcome::Done);
        QVERIFY(read.value == QStringLiteral("zip pässword"));
        // Another client finds it, under a label the user recognises.
        QVERIFY(m_keyring->lookup(item.label, item.key) == QStringLiteral("zip pässword"));
        QCOMPARE(m_keyring->labelOf(item.label, item.key), item.label);
        QCOMPARE(store.write(item, QStringLiteral("second")), SecretStore::Outcome::Done);
        QVERIFY(store.read(item).value == QStringLiteral("second"));
        QCOMPARE(store.remove(item), SecretStore::Outcome::Done);
        QCOMPARE(store.read(item).outcome, SecretStore::Outcome::Missing);
        QCOMPARE(store.remove(item), SecretStore::Outcome::Done);
        QVERIFY(!m_keyring->lookup(item.label, item.key));
    }

    // The first start with a keyring moves the scrambled values into it; one it
    // already holds wins over the database's stale copy.
    void scrambledValuesMoveIntoTheKeyring()
    {
        Installed installed;
        const TQuayRegistryObject store;
        store.writeScrambled(QStringLiteral("UserSMPTServerPassword"), QStringLiteral("smtp one"));
        store.writeScrambled(QStringLiteral("UserZipPassword"), QStringLiteral("stale zip"));
        const SecretStore::Item zip = SecretKeeping::itemOf(QStringLiteral("UserZipPassword"));
        QCOMPARE(installed.store.write(zip, QStringLiteral("zip two")), SecretStore::Outcome::Done);

        QCOMPARE(SecretKeeping::placeText(), SecretKeeping::keyringText());
        for (const QString& name : SecretKeeping::names())
            QVERIFY2(!SettingsDatabase::read(TQuayRegistryObject::keyPath(), name),
                     qPrintable(name));
        QVERIFY(store.ReadUserSMPTServerPassword() == QStringLiteral("smtp one"));
        QVERIFY(store.ReadUserZipPassword() == QStringLiteral("zip two"));
        QVERIFY(m_keyring->lookup(QStringLiteral("KestrelSolo SMTP server password"),
                                  QStringLiteral("UserSMPTServerPassword")) ==
                QStringLiteral("smtp one"));

        store.WriteUserIMAPPassword(QStringLiteral("imap three"));
        QVERIFY(store.ReadUserIMAPPassword() == QStringLiteral("imap three"));
        store.WriteUserIMAPPassword(QString());
        QVERIFY(store.ReadUserIMAPPassword().isEmpty());
        QVERIFY(!m_keyring->lookup(QStringLiteral("KestrelSolo IMAP server password"),
                                   QStringLiteral("UserIMAPPassword")));
        // Not even scrambled: the bytes that scrambling leaves alone are not there.
        const QByteArray bytes = databaseBytes();
        QVERIFY(!bytes.contains(" one") && !bytes.contains(" two") && !bytes.contains(" three"));
        for (const QString& name : SecretKeeping::names())
            QVERIFY2(!SettingsDatabase::read(TQuayRegistryObject::keyPath(), name),
                     qPrintable(name));
    }

    // A keyring that stops answering costs one bounded wait; the store then asks it
    // nothing more, even once it answers again.
    void hangingKeyringCostsOneWait()
    {
        SecretServiceStore store(300);
        const SecretStore::Item item = SecretKeeping::itemOf(QStringLiteral("UserZipPassword"));
        m_keyring->pause(true);
        QCOMPARE(store.availability(item), SecretStore::Outcome::Unanswered);
        m_keyring->pause(false);
        const QString value = QStringLiteral("zip after the hang");
        QCOMPARE(store.write(item, value), SecretStore::Outcome::Unanswered);
        QCOMPARE(store.read(item).outcome, SecretStore::Outcome::Unanswered);
        QVERIFY(m_keyring->lookup(item.label, item.key) != value);
    }

    // Last: the keyring stays locked, since no prompt can show to unlock it.
    void lockedKeyringLosesNothing()
    {
        QVERIFY(m_keyring->lock());
        Installed installed;
        const TQuayRegistryObject store;
        store.writeScrambled(QStringLiteral("UserZipPassword"), QStringLiteral("zip kept"));
        QCOMPARE(SecretKeeping::placeText(), SecretKeeping::lockedText());
        QVERIFY(store.ReadUserZipPassword() == QStringLiteral("zip kept"));
        store.WriteUserSMPTServerPassword(QStringLiteral("smtp kept"));
        QVERIFY(store.ReadUserSMPTServerPassword() == QStringLiteral("smtp kept"));
        QVERIFY(SettingsDatabase::read(TQuayRegistryObject::keyPath(),
                                       QStringLiteral("UserSMPTServerPassword")));
        // Asked directly, the locked keyring refuses a write.
        QCOMPARE(installed.store.write(SecretKeeping::itemOf(QStringLiteral("UserZipPassword")),
                                       QStringLiteral("zip kept")),
                 SecretStore::Outcome::Locked);
    }
};

QTEST_MAIN(TestSecretServiceStore)
#include "tst_secretservicestore.moc"
