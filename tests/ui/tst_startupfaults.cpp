#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/SettingsDatabase.h"
#include "support/TestEnvironment.h"
#include "ui/BackUpSettingsPage.h"
#include "ui/UserSettingsPage.h"
#include "ui/frmKestrelClientMain.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QtTest>

// The program starts whatever state its files are in: each fault of the start-up is
// told once, naming the file and the system's reason, and the window opens. The
// faults are ones that hold for root too, as the tests may run as root.
class TestStartUpFaults : public QObject
{
    Q_OBJECT

private:
    // The autostart folder the user cannot write: the entry is there, writing it fails.
    class UnwritableAutostart : public RecordingAutostart
    {
    public:
        void write(bool) override
        {
            throw KestrelError(QStringLiteral("Unable to write /x/autostart/KestrelSolo.desktop: "
                                              "Permission denied"));
        }
    };

private Q_SLOTS:
    void settingsFileThatCannotBeOpened_data()
    {
        QTest::addColumn<bool>("folderInItsPlace");
        QTest::addColumn<QString>("cause");
        QTest::newRow("a folder in its place") << true << "Is a directory";
        QTest::newRow("below a regular file") << false << "Not a directory";
    }

    void settingsFileThatCannotBeOpened()
    {
        QFETCH(bool, folderInItsPlace);
        QFETCH(QString, cause);
        TestEnvironment env;
        const QString path = SettingsDatabase::defaultPath();
        const QString folder = QFileInfo(path).absolutePath();
        if (folderInItsPlace) {
            QVERIFY(QDir().mkpath(path));
        } else {
            QVERIFY(QDir(folder).removeRecursively());
            env.writeFile(folder.mid(env.root().size() + 1), "not a folder");
        }

        TfrmKestrelClientMain window;
        QCOMPARE(env.prompt.notices().size(), 1);
        QVERIFY2(
            env.prompt.notices().first().startsWith(QStringLiteral("The settings file ") + path +
                                                    QStringLiteral(" cannot be opened: ") + cause),
            qPrintable(env.prompt.notices().first()));
        QCOMPARE(window.userSettingsPage->edbMaxNumberOfBytes->text(), QStringLiteral("2"));

        // The saves that fail when the window is left or closed are not told again, and
        // the user can still close the program.
        env.prompt.queueAnswer(Prompt::Answer::Yes);
        QVERIFY(window.close());
        QCOMPARE(env.prompt.notices().size(), 1);
    }

    void unreadableLogAtStartUp()
    {
        TestEnvironment env;
        const TQuayRegistryObject store;
        store.WriteWizzardRun(true);
        store.WriteLoadLogTree(true);
        QVERIFY(QDir().mkpath(store.ReadLogFile())); // a folder named like the log

        TfrmKestrelClientMain window;
        QCOMPARE(env.prompt.notices().size(), 1);
        const QString notice = env.prompt.notices().first();
        QVERIFY2(notice.contains(store.ReadLogFile()) &&
                     notice.contains(QStringLiteral("directory")),
                 qPrintable(notice));
        QVERIFY(window.backUpSettingsPage->ckbLoadLogTree->isChecked());
    }

    void autostartEntryThatCannotBeWritten()
    {
        TestEnvironment env;
        UnwritableAutostart autostart;
        autostart.present = true;
        const ScopedServices services({&env.prompt, &env.clock, &autostart, &env.powerOff,
                                       &env.dialUp, &env.notifications, &env.fileManagerMenu,
                                       &env.secretStore, &env.schedule});
        const TQuayRegistryObject store;
        store.WriteWizzardRun(true);
        store.WriteCloseApplicationAfterSequence(true);

        TfrmKestrelClientMain window;
        QCOMPARE(
            env.prompt.notices(),
            QStringList{"Unable to write /x/autostart/KestrelSolo.desktop: Permission denied"});
        // The refresh went on past the box: the settings after it are shown.
        QVERIFY(window.backUpSettingsPage->ckbStartUp->isChecked());
        QVERIFY(window.backUpSettingsPage->ckbCloseApplicationAfterSequence->isChecked());

        // Storing the page still stores what comes after the entry, then tells.
        window.backUpSettingsPage->ckbCloseApplicationAfterSequence->setChecked(false);
        QVERIFY_THROWS_EXCEPTION(KestrelError, window.StoreSettings());
        QVERIFY(!store.ReadCloseApplicationAfterSequence());
    }
};

QTEST_MAIN(TestStartUpFaults)
#include "tst_startupfaults.moc"
