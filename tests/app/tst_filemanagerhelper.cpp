#include "backupdata/SelectionList.h"
#include "backupdata/SelectionListLock.h"
#include "core/EditionProfile.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "support/PrivateDBus.h"
#include "support/TestEnvironment.h"
#include "ui/BackUpSettingsPage.h"
#include "ui/FileSelectionPage.h"
#include "ui/FolderSelectionPage.h"
#include "ui/PathTree.h"
#include "ui/frmKestrelClientMain.h"
#include "winintegration/XdgFileManagerMenu.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

// The real helper programs, run as the file manager runs them: several at once while
// the window is open and saving its lists, each path listed exactly once and shown on
// its page after the flag; the one-line result and the desktop notification; and the
// window registering the entry again at every start.
class TestFileManagerHelper : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    const QString helper = KESTREL_BINARY_DIR "/src/app/kestrelsolo-add";

    // The test's own world; no session bus unless a test gives one.
    QProcessEnvironment helperEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        environment.insert("XDG_RUNTIME_DIR", env->path("runtime"));
        return environment;
    }
    std::unique_ptr<QProcess> startHelper(const QStringList& paths,
                                          const QProcessEnvironment& environment) const
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->start(helper, paths);
        return process;
    }
    // How many of the processes wait for a flock (the kernel lists each waiter).
    static int lockWaiters(const std::vector<std::unique_ptr<QProcess>>& processes)
    {
        QFile locks("/proc/locks");
        if (!locks.open(QIODevice::ReadOnly))
            return -1;
        const QList<QByteArray> lines = locks.readAll().split('\n');
        int waiting = 0;
        for (const auto& process : processes) {
            const QByteArray pid = " " + QByteArray::number(process->processId()) + " ";
            for (const QByteArray& line : lines)
                if (line.contains("->") && line.contains("FLOCK") && line.contains(pid)) {
                    ++waiting;
                    break;
                }
        }
        return waiting;
    }
    static QStringList treeEntries(PathTree* tree, SelectionListKind kind)
    {
        return selectionListEntries(tree->selectionTree(), kind).entries;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        TQuayRegistryObject().WriteWizzardRun(true);
    }
    void cleanup() { env.reset(); }

    void concurrentHelpersListEveryPathOnceAndThePagesShowThem()
    {
        QStringList files;
        QStringList folders;
        for (int i = 0; i < 24; ++i)
            files << env->writeFile(QString("docs/file %1.txt").arg(i), "x");
        for (int i = 0; i < 6; ++i)
            folders << env->root() + QString("/folders/folder %1").arg(i);
        for (const QString& folder : folders)
            QVERIFY(QDir().mkpath(folder));
        // One entry the window has already, so that its saves rewrite the list.
        const QString kept = env->writeFile("docs/kept.txt", "x");
        {
            QFile list(TQuayRegistryObject().ReadFileOfFiles());
            QVERIFY(list.open(QIODevice::WriteOnly));
            list.write(kept.toUtf8() + "\r\n");
        }

        TfrmKestrelClientMain window;
        window.show();
        // Six helpers at once, each path handed to two of them.
        std::vector<std::unique_ptr<QProcess>> helpers;
        for (int h = 0; h < 6; ++h) {
            QStringList paths;
            for (int i = 0; i < files.size(); ++i)
                if (i % 3 == h % 3)
                    paths << files[i];
            paths << folders[h] << folders[(h + 1) % folders.size()];
            helpers.push_back(startHelper(paths, helperEnvironment()));
        }
        // Meanwhile the window saves its trees as it does whenever it loses the focus.
        bool running = true;
        while (running) {
            window.SaveTreesAndSettings();
            running = false;
            for (const auto& process : helpers)
                running = running || process->state() != QProcess::NotRunning;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        for (const auto& process : helpers) {
            QVERIFY(process->state() == QProcess::NotRunning || process->waitForFinished(30000));
            QCOMPARE(process->exitStatus(), QProcess::NormalExit);
            QVERIFY2(process->exitCode() == 0, process->readAllStandardError().constData());
        }

        QStringList expectedFiles = files;
        expectedFiles << kept;
        window.pgcKestrel->setCurrentWidget(window.fileSelectionPage);
        QStringList shownFiles =
            treeEntries(window.fileSelectionPage->filesTree, SelectionListKind::Files);
        shownFiles.sort();
        expectedFiles.sort();
        QCOMPARE(shownFiles, expectedFiles);
        window.pgcKestrel->setCurrentWidget(window.folderSelectionPage);
        QStringList shownFolders =
            treeEntries(window.folderSelectionPage->foldersTree, SelectionListKind::Folders);
        shownFolders.sort();
        QCOMPARE(shownFolders, folders);
        QVERIFY(!TQuayRegistryObject().ReadFileListHasChanged());
        QVERIFY(!TQuayRegistryObject().ReadFolderListHasChanged());

        // On disk, too, every path is there exactly once.
        window.SaveTreesAndSettings();
        QStringList listed = readSelectionList(TQuayRegistryObject().ReadFileOfFiles());
        listed.sort();
        QCOMPARE(listed, expectedFiles);
        window.TerminateApplication();
    }

    void helpersGivenTheSamePathsAtOnceListEachOnce()
    {
        QStringList files;
        for (int i = 0; i < 40; ++i)
            files << env->writeFile(QString("docs/file %1.txt").arg(i), "x");
        // Eight helpers, each with every path; no window rewrites the list meanwhile,
        // so every line a helper wrote is still there. They start while the list is
        // locked, as during a save of the window, and all wait; released together,
        // they contend for the list at once.
        const QString list = TQuayRegistryObject().ReadFileOfFiles();
        std::vector<std::unique_ptr<QProcess>> helpers;
        {
            const SelectionListLock lock(list);
            for (int h = 0; h < 8; ++h)
                helpers.push_back(startHelper(files, helperEnvironment()));
            QTRY_COMPARE_WITH_TIMEOUT(lockWaiters(helpers), 8, 30000);
        }
        for (const auto& process : helpers) {
            QVERIFY(process->state() == QProcess::NotRunning || process->waitForFinished(30000));
            QCOMPARE(process->exitCode(), 0);
        }
        QStringList listed = readSelectionList(TQuayRegistryObject().ReadFileOfFiles());
        listed.sort();
        files.sort();
        QCOMPARE(listed, files);
    }

    void theHelperSaysWhatItDidAndNotifiesTheDesktop()
    {
        PrivateDBus bus;
        QVERIFY2(!bus.address().isEmpty(), qPrintable(bus.errorText()));
        const int notifications =
            bus.startMock("org.freedesktop.Notifications", {"--template", "notification_daemon"});
        QVERIFY2(notifications >= 0, qPrintable(bus.errorText()));
        QProcessEnvironment environment = helperEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());

        const QString report = env->writeFile("docs/report.doc", "x");
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(helper, {report, "/dev/null"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()),
                 QString("Added 1 file and 0 folders to the KestrelSolo backup lists; 1 "
                         "refused.\n"));
        QVERIFY(process.readAllStandardError().contains("\"/dev/null\" is neither a file"));
        QCOMPARE(readSelectionList(TQuayRegistryObject().ReadFileOfFiles()), QStringList{report});
        QTRY_VERIFY(!bus.mockCalls(notifications).filter("Notify").isEmpty());
        QVERIFY(bus.mockCalls(notifications).filter("Notify").first().contains("KestrelSolo"));
    }

    void aRemovedEntryComesBackAtTheNextStart()
    {
        // The real registration, below the test's own data folder, copying the helper
        // from where the build put it.
        XdgFileManagerMenu menu(KESTREL_BINARY_DIR "/src/app");
        Services::Set set = Services::current();
        set.fileManagerMenu = &menu;
        const ScopedServices installed(set);
        const auto files = XdgFileManagerMenu::actionFiles(currentProfile());
        {
            TfrmKestrelClientMain window;
            QVERIFY(window.backUpSettingsPage->ckbLoadDLL->isChecked());
            QVERIFY(TQuayRegistryObject().ReadDLLRegistered());
            QVERIFY(QFile::exists(files.dolphin));
            window.backUpSettingsPage->ckbLoadDLL->click();
            QVERIFY(!QFile::exists(files.dolphin));
            QVERIFY(!TQuayRegistryObject().ReadDLLRegistered());
            // A refresh before the next save leaves it removed.
            window.RefreshFromSettings();
            QVERIFY(!window.backUpSettingsPage->ckbLoadDLL->isChecked());
            QVERIFY(!QFile::exists(files.nemo));
            window.TerminateApplication();
        }
        QVERIFY(QFile::exists(XdgFileManagerMenu::helperPath(currentProfile())));
        TfrmKestrelClientMain window;
        QVERIFY(window.backUpSettingsPage->ckbLoadDLL->isChecked());
        QVERIFY(TQuayRegistryObject().ReadDLLRegistered());
        for (const QString& path : {files.dolphin, files.nautilus, files.nemo})
            QVERIFY2(QFile::exists(path), qPrintable(path));

        // Still registered at the start after that, through the ticked box.
        window.TerminateApplication();
        const TfrmKestrelClientMain again;
        QVERIFY(again.backUpSettingsPage->ckbLoadDLL->isChecked());
    }

    void theHelpersAreInstalledNextToThePrograms()
    {
        QTemporaryDir prefix;
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start("cmake", {"-DCMAKE_INSTALL_PREFIX=" + prefix.path(),
                                "-DCMAKE_INSTALL_COMPONENT=Unspecified", "-P",
                                KESTREL_BINARY_DIR "/src/app/cmake_install.cmake"});
        QVERIFY(install.waitForFinished(60000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
        const QString bin = prefix.path() + "/bin/";
        for (const QString program : {"kestrelsolo", "kestreldrive", "kestrelcd"}) {
            QVERIFY2(QFileInfo(bin + program).isExecutable(), qPrintable(program));
            QVERIFY2(QFileInfo(bin + program + "-add").isExecutable(), qPrintable(program));
        }
        QVERIFY(!QFileInfo::exists(bin + "kestrelclient-add"));
    }

    void kestrelClientHasNoEntry()
    {
        env.reset();
        env = std::make_unique<TestEnvironment>("KestrelClient");
        TQuayRegistryObject().WriteWizzardRun(true);
        const TfrmKestrelClientMain window;
        QVERIFY(env->fileManagerMenu.calls().isEmpty());
        QVERIFY(!TQuayRegistryObject().ReadDLLRegistered());
    }
};

QTEST_MAIN(TestFileManagerHelper)
#include "tst_filemanagerhelper.moc"
