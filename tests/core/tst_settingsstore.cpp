#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/Scrambler.h"
#include "core/SecretKeeping.h"
#include "core/SettingsDatabase.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <thread>

// The settings store against a real SQLite file in a temporary home.
class TestSettingsStore : public QObject
{
    Q_OBJECT

private:
    static void runSql(const QString& sql)
    {
        QProcess sqlite;
        sqlite.start(QStringLiteral("sqlite3"), {SettingsDatabase::defaultPath(), sql});
        QVERIFY(sqlite.waitForFinished(10000));
        QCOMPARE(sqlite.exitCode(), 0);
    }

private Q_SLOTS:
    void freshProfileDefaultsAndWriteBacks()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        const QString folder = currentProgramFolder();
        QCOMPARE(folder, env.root() + QStringLiteral("/home/.local/share/Orrery/KestrelSolo"));
        QVERIFY(QDir(folder).exists());

        QCOMPARE(store.ReadFileOfFiles(), folder + QStringLiteral("/Files.Txt"));
        QCOMPARE(store.ReadFileOfDirectories(), folder + QStringLiteral("/Dirs.Txt"));
        QCOMPARE(store.ReadLogFile(), folder + QStringLiteral("/Log.Txt"));
        QCOMPARE(store.ReadZipDirectory(), folder + QStringLiteral("/Zip"));
        QCOMPARE(store.ReadQuayDirectory(), folder);
        // The defaults are now ordinary stored values.
        QCOMPARE(store.readString(QStringLiteral("LogFile")), folder + QStringLiteral("/Log.Txt"));
        QCOMPARE(store.readString(QStringLiteral("QuayDirectory")), folder);

        QCOMPARE(store.ReadFolderSearchDate(), QStringLiteral("01/01/1995"));
        QVERIFY(store.readString(QStringLiteral("FolderSearchDate")).isEmpty());
        QCOMPARE(store.ReadMediaCapacity(), 650);
        QCOMPARE(store.ReadUserConnectionPort(), 25);
        QCOMPARE(store.ReadMaxNumberOfBytesToBackedUp(), 2000000.0);
        QCOMPARE(store.ReadFileIDNumber(), 0);
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), 0.0);
        QVERIFY(!store.ReadWizzardRun());
        QVERIFY(store.ReadUserSMPTServerPassword().isEmpty());

        // An empty stored location counts as missing.
        store.WriteLogFile(QString());
        QCOMPARE(store.ReadLogFile(), folder + QStringLiteral("/Log.Txt"));

        // The user id is made once and then stays.
        const QString userId = store.ReadUserID();
        QCOMPARE(userId.size(), 8);
        QCOMPARE(TQuayRegistryObject().ReadUserID(), userId);
    }

    // A profile that was in use before the exclusion settings existed keeps backing up
    // what it did; a new one starts with them on. The first read settles it for good.
    void exclusionsStartOnOnlyInNewProfiles_data()
    {
        QTest::addColumn<QString>("existingFile");
        QTest::addColumn<bool>("on");
        QTest::newRow("new profile") << QString() << true;
        QTest::newRow("backup log") << "Log.Txt" << false;
        QTest::newRow("files list") << "Files.Txt" << false;
        QTest::newRow("folders list") << "Dirs.Txt" << false;
    }

    void exclusionsStartOnOnlyInNewProfiles()
    {
        QFETCH(QString, existingFile);
        QFETCH(bool, on);
        TestEnvironment env;
        const TQuayRegistryObject store;
        if (!existingFile.isEmpty()) {
            QFile file(currentProgramFolder() + u'/' + existingFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(store.ReadExcludeCacheFolders(), on);
        QCOMPARE(store.ReadExcludeFilesLargerThanMB(), on ? 1024 : 0);
        // Lists made afterwards change nothing: the outcome was stored.
        QFile(store.ReadFileOfDirectories()).open(QIODevice::WriteOnly);
        QCOMPARE(store.ReadExcludeCacheFolders(), on);
        QCOMPARE(store.ReadExcludeFilesLargerThanMB(), on ? 1024 : 0);
        store.WriteExcludeFilesLargerThanMB(5);
        QCOMPARE(store.ReadExcludeFilesLargerThanMB(), 5);
    }

    void typedRoundTrips()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        store.WriteShutDown(true);
        QVERIFY(store.ReadShutDown());
        store.WriteShutDown(false);
        QVERIFY(!store.ReadShutDown());
        store.writeInteger(QStringLiteral("ShutDown"), 7); // any non-zero number is true
        QVERIFY(store.ReadShutDown());

        store.WriteNumberOfBackUpSequences(-12);
        QCOMPARE(store.ReadNumberOfBackUpSequences(), -12);
        store.WriteNumberOfBytesBackedUp(5e12 + 0.25);
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), 5e12 + 0.25);
        store.WriteUserSMPTName(QStringLiteral("smtp.example.net ÄÖ"));
        QCOMPARE(store.ReadUserSMPTName(), QStringLiteral("smtp.example.net ÄÖ"));

        // Names compare without regard to case.
        QVERIFY(store.readBoolean(QStringLiteral("SHUTDOWN")));
    }

    void specialRules()
    {
        TestEnvironment env;
        TQuayRegistryObject store;

        store.WriteMediaCapacity(0);
        QCOMPARE(store.ReadMediaCapacity(), 650);
        store.WriteMediaCapacity(700);
        QCOMPARE(store.ReadMediaCapacity(), 700);
        store.WriteUserConnectionPort(0);
        QCOMPARE(store.ReadUserConnectionPort(), 25);
        store.WriteUserConnectionPort(587);
        QCOMPARE(store.ReadUserConnectionPort(), 587);

        store.WriteFileIDNumber(TQuayRegistryObject::FileIDNumberLimit);
        QCOMPARE(store.ReadFileIDNumber(), 2147480000);
        store.WriteFileIDNumber(TQuayRegistryObject::FileIDNumberLimit + 1);
        QCOMPARE(store.ReadFileIDNumber(), 1);
        QCOMPARE(store.readInteger(QStringLiteral("FileIDNumber")), 1);

        store.WriteMaxNumberOfBytesToBackedUp(0);
        QCOMPARE(store.ReadMaxNumberOfBytesToBackedUp(), 2000000.0);
        store.WriteMaxNumberOfBytesToBackedUp(2500000);
        QCOMPARE(store.readFloat(QStringLiteral("MaxNumberOfBytesTOBackedUp")), 2500000.0);
        QCOMPARE(store.ReadMaxNumberOfBytesToBackedUp(), 2500000.0);
        store.writeString(QStringLiteral("MaxNumberOfBytesToBackedUp"), QStringLiteral("12"));
        QCOMPARE(store.ReadMaxNumberOfBytesToBackedUp(), 2000000.0);
    }

    void wrongTypeOrLengthReadsAsDefault()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        store.writeString(QStringLiteral("NumberOfBackUpSequences"), QStringLiteral("5"));
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 0);
        QCOMPARE(store.ReadUserIMAPPort(), 993);
        store.writeString(QStringLiteral("UserIMAPPort"), QStringLiteral("143"));
        QCOMPARE(store.ReadUserIMAPPort(), 993);
        store.writeInteger(QStringLiteral("NumberOfBytesBackedUp"), 5);
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), 0.0);
        runSql(QStringLiteral(
            "UPDATE registry_values SET data = x'0102' WHERE name = 'NumberOfBytesBackedUp';"));
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), 0.0);
        store.writeInteger(QStringLiteral("UserSMPTName"), 3);
        QVERIFY(store.ReadUserSMPTName().isEmpty());
    }

    void scrambling_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::newRow("empty") << QString();
        QTest::newRow("short") << QStringLiteral("secret");
        QTest::newRow("long") << QString(300, QLatin1Char('x')) + QStringLiteral("end");
        QTest::newRow("unicode") << QStringLiteral("pässwörd ✓");
    }

    void scrambling()
    {
        QFETCH(QString, plain);
        TestEnvironment env;
        const QByteArray bytes = plain.toUtf8();
        const QByteArray scrambled = scrambleBytes(bytes);
        QCOMPARE(scrambled.size(), bytes.size());
        QCOMPARE(unscrambleBytes(scrambled), bytes);

        TQuayRegistryObject store;
        store.WriteUserZipPassword(plain);
        QCOMPARE(store.ReadUserZipPassword(), plain);
        const auto stored = SettingsDatabase::read(TQuayRegistryObject::keyPath(),
                                                   QStringLiteral("UserZipPassword"));
        QVERIFY(stored);
        QCOMPARE(stored->data, scrambled);
    }

    void scrambledValueWithZeroByteReadsBackWhole()
    {
        TestEnvironment env;
        // The first byte is XORed with the high byte of 5813 (22): a plain byte 22
        // becomes 0 in the stored value.
        const QString plain = QStringLiteral("\x16"
                                             "abc\x16"
                                             "def");
        QVERIFY(scrambleBytes(plain.toUtf8()).contains('\0'));
        TQuayRegistryObject store;
        store.WriteUserSMPTServerPassword(plain);
        QCOMPARE(store.ReadUserSMPTServerPassword(), plain);
    }

    // Every secret follows the keyring: moved into it when it answers and takes them,
    // kept scrambled in the database otherwise, and never lost on the way.
    void secretsFollowTheKeyring_data()
    {
        using Outcome = SecretStore::Outcome;
        QTest::addColumn<Outcome>("answer");
        QTest::addColumn<Outcome>("writeAnswer");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("inKeyring");
        QTest::newRow("keyring") << Outcome::Done << Outcome::Done << SecretKeeping::keyringText()
                                 << true;
        QTest::newRow("keyring refuses writes")
            << Outcome::Done << Outcome::Locked << SecretKeeping::keyringRefusedSomeText() << false;
        QTest::newRow("locked") << Outcome::Locked << Outcome::Done << SecretKeeping::lockedText()
                                << false;
        QTest::newRow("none") << Outcome::Unanswered << Outcome::Done
                              << SecretKeeping::noKeyringText() << false;
    }

    void secretsFollowTheKeyring()
    {
        QFETCH(SecretStore::Outcome, answer);
        QFETCH(SecretStore::Outcome, writeAnswer);
        QFETCH(QString, line);
        QFETCH(bool, inKeyring);
        TestEnvironment env;
        TQuayRegistryObject store;
        // As an earlier version left them, and one the keyring already holds.
        const QStringList names = SecretKeeping::names();
        for (const QString& name : names)
            store.writeScrambled(name, name + QStringLiteral(" of old"));
        env.secretStore.items.insert(QStringLiteral("UserIMAPPassword"), QStringLiteral("newer"));
        env.secretStore.answer = answer;
        env.secretStore.writeAnswer = writeAnswer;
        const bool open = answer == SecretStore::Outcome::Done;

        QCOMPARE(SecretKeeping::placeText(), line);
        QCOMPARE(store.ReadUserSMPTServerPassword(),
                 QStringLiteral("UserSMPTServerPassword of old"));
        QCOMPARE(store.ReadUserZipPassword(), QStringLiteral("UserZipPassword of old"));
        QCOMPARE(store.ReadUserIMAPPassword(),
                 open ? QStringLiteral("newer") : QStringLiteral("UserIMAPPassword of old"));
        store.WriteUserZipPassword(QStringLiteral("zip new"));
        QCOMPARE(store.ReadUserZipPassword(), QStringLiteral("zip new"));
        for (const QString& name : names) {
            const auto stored = SettingsDatabase::read(TQuayRegistryObject::keyPath(), name);
            // The keyring's value wins, so the database's copy goes.
            const bool keyringHeld = open && name == QLatin1String("UserIMAPPassword");
            QVERIFY2(bool(stored) == !(inKeyring || keyringHeld), qPrintable(name));
            if (stored)
                QVERIFY(!stored->data.contains("of old") && !stored->data.contains("new"));
        }
        if (inKeyring) {
            QCOMPARE(env.secretStore.items.value(QStringLiteral("UserZipPassword")),
                     QStringLiteral("zip new"));
            QCOMPARE(env.secretStore.labels.value(QStringLiteral("UserSMPTServerPassword")),
                     QStringLiteral("KestrelSolo SMTP server password"));
        }
        // Said once: only the first use asks the keyring whether it answers.
        QCOMPARE(SecretKeeping::placeText(), line);
        QCOMPARE(env.secretStore.calls().count(QStringLiteral("secret availability")), 1);
        if (!open)
            QCOMPARE(env.secretStore.calls().size(), 1);
    }

    void clientBackUpAddressIsTheServiceAddress()
    {
        TestEnvironment env(QStringLiteral("KestrelClient"));
        TQuayRegistryObject store;
        store.WriteUserBackUpEmailAddress(QStringLiteral("me@example.org"));
        QCOMPARE(store.ReadUserBackUpEmailAddress(), TQuayRegistryObject::serviceBackUpAddress());
        QCOMPARE(store.readScrambled(QStringLiteral("UserBackUpEmailAddress")),
                 TQuayRegistryObject::serviceBackUpAddress());
        QCOMPARE(store.ReadFileOfFiles(),
                 env.root() + QStringLiteral("/home/.local/share/Orrery/KestrelClient/Files.Txt"));
    }

    void soloKeepsTheUserAddress()
    {
        TestEnvironment env;
        TQuayRegistryObject().WriteUserBackUpEmailAddress(QStringLiteral("me@example.org"));
        QCOMPARE(TQuayRegistryObject().ReadUserBackUpEmailAddress(),
                 QStringLiteral("me@example.org"));
    }

    void editionsHaveTheirOwnKeys()
    {
        TestEnvironment env(QStringLiteral("KestrelDrive"));
        TQuayRegistryObject().WriteNumberOfBackUpSequences(3);
        QCoreApplication::setApplicationName(QStringLiteral("KestrelCD"));
        QCOMPARE(TQuayRegistryObject().ReadNumberOfBackUpSequences(), 0);
        QCoreApplication::setApplicationName(QStringLiteral("KestrelDrive"));
        QCOMPARE(TQuayRegistryObject().ReadNumberOfBackUpSequences(), 3);
    }

    void anotherProcessesWriteIsSeenOnTheNextRead()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        store.WriteFileListHasChanged(false);
        QVERIFY(!store.ReadFileListHasChanged());
        runSql(QStringLiteral(
            "UPDATE registry_values SET data = x'01000000' WHERE name = 'FileListHasChanged';"));
        QVERIFY(store.ReadFileListHasChanged());
    }

    // A connection opened on another thread (the sequence's worker) must not drop the
    // locks of the window's: another process closing its connection would then take
    // itself for the last one and delete the journal the window still writes to.
    void otherThreadsAndProcessesLeaveTheJournalAlone()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        store.WriteNumberOfBackUpSequences(1);
        std::thread([] { TQuayRegistryObject().ReadNumberOfBackUpSequences(); }).join();
        runSql(QStringLiteral("SELECT count(*) FROM registry_values;"));
        QVERIFY(QFile::exists(SettingsDatabase::defaultPath() + QStringLiteral("-wal")));
        store.WriteNumberOfBackUpSequences(7);
        QProcess sqlite;
        sqlite.start(QStringLiteral("sqlite3"),
                     {SettingsDatabase::defaultPath(),
                      QStringLiteral("SELECT hex(data) FROM registry_values WHERE name = "
                                     "'NumberOfBackUpSequences';")});
        QVERIFY(sqlite.waitForFinished(10000));
        QCOMPARE(sqlite.readAllStandardOutput().trimmed(), QByteArray("07000000"));
        QCOMPARE(QFileInfo(SettingsDatabase::defaultPath()).permissions() &
                     (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
    }

    // A writer killed inside its transaction loses that transaction only.
    void killedWriterLosesOnlyItsTransaction()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        store.WriteNumberOfBackUpSequences(1);
        QProcess writer;
        writer.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sqlite3,sys,time\n"
                                     "c=sqlite3.connect(sys.argv[1],isolation_level=None)\n"
                                     "c.execute('BEGIN IMMEDIATE')\n"
                                     "c.execute(\"UPDATE registry_values SET data=x'09000000' "
                                     "WHERE name='NumberOfBackUpSequences'\")\n"
                                     "print('written',flush=True)\n"
                                     "time.sleep(60)\n"),
                      SettingsDatabase::defaultPath()});
        QVERIFY(writer.waitForReadyRead(10000));
        QCOMPARE(writer.readAll().trimmed(), QByteArray("written"));
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 1);
        store.WriteNumberOfBackUpSequences(2);
        QCOMPARE(TQuayRegistryObject().ReadNumberOfBackUpSequences(), 2);
    }

    void lockedDatabaseIsWaitedFor()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        store.WriteNumberOfBackUpSequences(1);
        // Another process holds the write lock for a moment; the write waits for it.
        QProcess holder;
        holder.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sqlite3,sys,time\n"
                                     "c=sqlite3.connect(sys.argv[1],isolation_level=None)\n"
                                     "c.execute('BEGIN IMMEDIATE')\n"
                                     "print('locked',flush=True)\n"
                                     "time.sleep(1.5)\n"
                                     "c.execute('COMMIT')\n"),
                      SettingsDatabase::defaultPath()});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readAll().trimmed(), QByteArray("locked"));
        store.WriteNumberOfBackUpSequences(2);
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 2);
        QVERIFY(holder.waitForFinished(10000));
    }

    void damagedDatabaseIsSetAsideAndReplaced()
    {
        TestEnvironment env;
        const QString path = SettingsDatabase::defaultPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QByteArray garbage(4096, 'G');
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(garbage);
        }
        TQuayRegistryObject store;
        QCOMPARE(store.ReadMediaCapacity(), 650);
        const QString notice = SettingsDatabase::takeDamagedNotice();
        QVERIFY(notice.contains(path));
        QVERIFY(SettingsDatabase::takeDamagedNotice().isEmpty()); // told once

        const QStringList kept =
            QFileInfo(path).dir().entryList({QStringLiteral("registry.sqlite3.damaged-*")});
        QCOMPARE(kept.size(), 1);
        QFile keptFile(QFileInfo(path).dir().filePath(kept.first()));
        QVERIFY(keptFile.open(QIODevice::ReadOnly));
        QCOMPARE(keptFile.readAll(), garbage);

        store.WriteMediaCapacity(700);
        QCOMPARE(store.ReadMediaCapacity(), 700);
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
    }

    void failedWriteNamesTheValue()
    {
        TestEnvironment env;
        const QString path = SettingsDatabase::defaultPath();
        QDir().mkpath(path); // a folder where the database file should be
        TQuayRegistryObject store;
        QCOMPARE(store.ReadMediaCapacity(), 650);
        QCOMPARE(
            SettingsDatabase::openProblem(),
            QStringLiteral("The settings file %1 cannot be opened: Is a directory.").arg(path));
        // A read whose default would be written back still gives the default.
        QCOMPARE(store.ReadLogFile(), currentProgramFolder() + QStringLiteral("/Log.Txt"));
        try {
            store.WriteMediaCapacity(700);
            QFAIL("the write should have failed");
        } catch (const KestrelError& error) {
            QCOMPARE(error.message(),
                     QStringLiteral("Unable to store the setting MediaCapacity in %1: Is a "
                                    "directory")
                         .arg(path));
        }
    }

    void editionProfiles()
    {
        const struct
        {
            const char* name;
            Edition edition;
            const char* helper;
        } expected[] = {{"KestrelClient", Edition::KestrelClient, ""},
                        {"KestrelSolo", Edition::KestrelSolo, "kestrelsolo-add"},
                        {"KestrelCD", Edition::KestrelCD, "kestrelcd-add"},
                        {"KestrelDrive", Edition::KestrelDrive, "kestreldrive-add"}};
        for (const auto& row : expected) {
            Edition found{};
            QVERIFY(editionFromProductName(QLatin1String(row.name), &found));
            QCOMPARE(found, row.edition);
            const EditionProfile& profile = editionProfile(found);
            QCOMPARE(profile.name, QLatin1String(row.name));
            QCOMPARE(profile.registryRoot,
                     QStringLiteral("Software\\Orrery\\") + QLatin1String(row.name));
            QCOMPARE(profile.helperName, QLatin1String(row.helper));
        }
        Edition found{};
        QVERIFY(!editionFromProductName(QStringLiteral("kestrelsolo"), &found));
        QVERIFY(!editionFromProductName(QStringLiteral("KestrelSolo "), &found));
        QCOMPARE(editionProfile(Edition::KestrelSolo).menuDescription,
                 QStringLiteral("Add items to KestrelSolo backup lists."));

        TestEnvironment env(QStringLiteral("SomethingElse"));
        QCOMPARE(currentEdition(), Edition::KestrelSolo);
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
