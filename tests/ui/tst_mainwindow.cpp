#include "core/QuayRegistryObject.h"
#include "core/SettingsDatabase.h"
#include "support/TestEnvironment.h"
#include "ui/BackUpLogPage.h"
#include "ui/BackUpSettingsPage.h"
#include "ui/ControlHelpers.h"
#include "ui/FileSelectionPage.h"
#include "ui/FolderSelectionPage.h"
#include "ui/HelpWindow.h"
#include "ui/QuayPasswordForm.h"
#include "ui/SummaryPage.h"
#include "ui/UserSettingsPage.h"
#include "ui/frmKestrelClientMain.h"
#include "winintegration/SessionEndHandling.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// The main window under the offscreen platform, driven through its controls by
// object name, with every question answered by the test.
class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    static std::unique_ptr<TestEnvironment>
    freshProfile(const QString& edition = QStringLiteral("KestrelSolo"))
    {
        auto env = std::make_unique<TestEnvironment>(edition);
        TQuayRegistryObject().WriteWizzardRun(true);
        return env;
    }

    template <typename T> static T* control(QWidget& window, const char* name)
    {
        T* found = window.findChild<T*>(QLatin1String(name));
        if (!found)
            qWarning("no control %s", name);
        return found;
    }

    static QStringList tabCaptions(TfrmKestrelClientMain& window)
    {
        QStringList captions;
        for (int i = 0; i < window.pgcKestrel->count(); ++i)
            captions << window.pgcKestrel->tabText(i);
        return captions;
    }

private Q_SLOTS:
    void pagesAndEditionChanges_data()
    {
        QTest::addColumn<QString>("edition");
        QTest::addColumn<QString>("settingsCaption");
        QTest::addColumn<QStringList>("hidden");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("solo") << QStringLiteral("KestrelSolo") << QStringLiteral("User Settings")
                              << QStringList{"lblBackUpDrive",   "edbCDDrive",
                                             "btnBrowseCDImage", "ckbOverWriteFiles",
                                             "ckbCloseTray",     "edbMediaCapacity",
                                             "btnNewFolders",    "btnAddFileBackUpRequest"}
                              << QStringList{"edbUserBackUpEmailAddress", "grbSMTPInformation",
                                             "edbZipBackUpFilePassword", "ckbDisconnectConnection"};
        QTest::newRow("client") << QStringLiteral("KestrelClient")
                                << QStringLiteral("User Settings")
                                << QStringList{"lblBackUpDrive",
                                               "edbCDDrive",
                                               "btnBrowseCDImage",
                                               "lblEmailAddress",
                                               "edbUserBackUpEmailAddress",
                                               "ckbOverWriteFiles"}
                                << QStringList{"grbSMTPInformation", "edbZipBackUpFilePassword"};
        QTest::newRow("cd") << QStringLiteral("KestrelCD") << QStringLiteral("Drive")
                            << QStringList{"ckbDisconnectConnection",
                                           "lblEmailAddress",
                                           "edbUserBackUpEmailAddress",
                                           "grbSMTPInformation",
                                           "lblZipBackUp",
                                           "edbZipBackUpFilePassword",
                                           "btnChangeZipPassword"}
                            << QStringList{"ckbCloseTray", "lblMediaCapacity", "edbMediaCapacity",
                                           "edbCDDrive", "btnBrowseCDImage"};
        QTest::newRow("drive") << QStringLiteral("KestrelDrive") << QStringLiteral("Drive")
                               << QStringList{"lblZipBackUp",
                                              "edbZipBackUpFilePassword",
                                              "btnChangeZipPassword",
                                              "lblBackUpDrive",
                                              "ckbDisconnectConnection",
                                              "edbCDDrive",
                                              "btnBrowseCDImage",
                                              "grbSMTPInformation",
                                              "btnAddFileBackUpRequest"}
                               << QStringList{"lblEmailAddress", "edbUserBackUpEmailAddress"};
    }

    void pagesAndEditionChanges()
    {
        QFETCH(QString, edition);
        QFETCH(QString, settingsCaption);
        QFETCH(QStringList, hidden);
        QFETCH(QStringList, shown);
        auto env = freshProfile(edition);
        TfrmKestrelClientMain window;
        QCOMPARE(window.windowTitle(), edition);
        QCOMPARE(tabCaptions(window),
                 (QStringList{"Summary", "File Selection", "Folder Selection", "Back Up Log",
                              settingsCaption, "Back Up Settings"}));
        QCOMPARE(window.pgcKestrel->currentIndex(), 0);
        for (const QString& name : hidden) {
            QWidget* widget = window.findChild<QWidget*>(name);
            QVERIFY2(widget, qPrintable(name));
            QVERIFY2(widget->isHidden(), qPrintable(name + QStringLiteral(" should be hidden")));
        }
        for (const QString& name : shown) {
            QWidget* widget = window.findChild<QWidget*>(name);
            QVERIFY2(widget, qPrintable(name));
            QVERIFY2(!widget->isHidden(), qPrintable(name + QStringLiteral(" should be shown")));
        }
        const bool drivePage = settingsCaption == QLatin1String("Drive");
        QCOMPARE(control<QGroupBox>(window, "grbUserInformation")->title(),
                 drivePage ? QStringLiteral("Drive Details") : QStringLiteral("User Information"));
        QCOMPARE(window.findChild<QAction*>(QStringLiteral("Get1"))->isVisible(),
                 edition != QLatin1String("KestrelDrive"));
        if (edition == QLatin1String("KestrelDrive")) {
            QCOMPARE(control<QLabel>(window, "lblEmailAddress")->text(),
                     QStringLiteral("Back Up Folder:"));
            QVERIFY(control<QLineEdit>(window, "edbUserBackUpEmailAddress")->isReadOnly());
        }
        QVERIFY(env->prompt.unexpected().isEmpty());
    }

    void controlsCarryTheirCaptionsAndState()
    {
        auto env = freshProfile();
        TfrmKestrelClientMain window;
        QCOMPARE(control<QPushButton>(window, "btnRunBackUp")->text(),
                 QStringLiteral("Run Back Up Now"));
        QCOMPARE(control<QPushButton>(window, "btnRunBackUp")->toolTip(),
                 QStringLiteral("Run back up sequence now"));
        QVERIFY(!control<QPushButton>(window, "btnBackUpSequenceCancel")->isEnabled());
        QVERIFY(window.summaryPage->rdbIncrementalBackUp->isChecked());
        QCOMPARE(window.tmrFindSubFolders->interval(), 5000);
        QCOMPARE(window.sessionEnd().sequenceStartTimer().interval(), 2000);
        QCOMPARE(window.sessionEnd().shutDownDelayTimer().interval(), 30000);
        QVERIFY(!window.tmrFindSubFolders->isActive());
        QCOMPARE(window.IconKeyList,
                 (QStringList{"drive", "folder", "kestrelbackupfolder", "kestrelbackedupfolder",
                              ".zip", "unkownfiletype"}));
        QVERIFY(window.SuppressCloseTrayPrompt);
        QVERIFY(window.summaryPage->statusText().isEmpty());
    }

    // Controls whose caption does not say what they are for carry a name that a screen
    // reader announces instead.
    void controlsAreNamedForScreenReaders_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("zip password") << "btnChangeZipPassword"
                                      << "Change Zip Password";
        QTest::newRow("SMTP password") << "btnChangeSMPTServerUserPassword"
                                       << "Change SMTP Password";
        QTest::newRow("IMAP password") << "btnChangeIMAPPassword"
                                       << "Change IMAP Password";
        QTest::newRow("files tree") << "trvFiles"
                                    << "Files to back up";
        QTest::newRow("folders tree") << "trvFolders"
                                      << "Folders to back up";
        QTest::newRow("log tree") << "trvBackUpLog"
                                  << "Back up log";
    }

    void controlsAreNamedForScreenReaders()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        auto env = freshProfile();
        TfrmKestrelClientMain window;
        QWidget* widget = window.findChild<QWidget*>(control);
        QVERIFY(widget);
        QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);
    }

    void summaryComesFromTheStore()
    {
        auto env = freshProfile();
        const TQuayRegistryObject store;
        store.WriteLastBackUp(QStringLiteral("07/12/2026 20:54:48"));
        store.WriteNumberOfFilesInLastSequence(4);
        store.WriteFileIDNumber(17);
        store.WriteNumberOfBackUpSequences(3);
        store.WriteNumberOfBytesBackedUp(2500000);
        store.WriteBackUpSequenceSuccess(true);
        TfrmKestrelClientMain window;
        QCOMPARE(window.summaryPage->edbLastBackUp->text(), QStringLiteral("07/12/2026 20:54:48"));
        QCOMPARE(window.summaryPage->edbNumberOfFilesLastSequence->text(), QStringLiteral("4"));
        QCOMPARE(window.summaryPage->edbTotalNumberOfFilesBackedUp->text(), QStringLiteral("17"));
        QCOMPARE(window.summaryPage->edbTotalNumberOfBackUpSequences->text(), QStringLiteral("3"));
        QCOMPARE(window.summaryPage->edbTotalNumberOfBytesBackedUp->text(), QStringLiteral("2.5"));
        QCOMPARE(window.userSettingsPage->edbMaxNumberOfBytes->text(), QStringLiteral("2"));
        // Figures to read, the file counters too: each is announced as read-only.
        for (QLineEdit* field : window.summaryPage->findChildren<QLineEdit*>())
            QVERIFY2(QAccessible::queryAccessibleInterface(field)->state().readOnly,
                     qPrintable(field->objectName()));

        window.RefreshFromSettings();
        QCOMPARE(window.summaryPage->statusText().split(QLatin1Char('\n')),
                 (QStringList{
                     "Last back up date: 07/12/2026 20:54:48", "Number of files in last back up: 4",
                     "Total number of files processed: 17", "Total number of backed up runs: 3",
                     "Total number of bytes backed up: 2.5 MB", "Last back up was successful."}));

        store.WriteBackUpSequenceSuccess(false);
        store.WriteSequenceFile(QStringLiteral("Sequence Data - 26-12-07 20-54-48.txt"));
        window.RefreshFromSettings();
        QVERIFY(window.summaryPage->statusText().endsWith(QStringLiteral(
            "Last back up was unsuccessful. Please check you devices.\n"
            "For more details see the sequence data file: Sequence Data - 26-12-07 20-54-48.txt")));
    }

    // File reports reach the widgets a moment later, all at once; whatever reads the
    // memo sees every report at once, in order, clears included.
    void statusReportsAreShownTogether()
    {
        auto env = freshProfile();
        TfrmKestrelClientMain window;
        SummaryPage* page = window.summaryPage;
        page->pbrSequence->setRange(0, 3);
        page->pbrSequence->setValue(0);
        page->addStatusLine(QStringLiteral("gone"));
        page->clearStatus();
        page->addStatusLine(QStringLiteral("Back up copy of /d/a.txt is current"));
        page->addStatusLine(QString());
        page->addStatusLine(QStringLiteral("- no backed up required."));
        page->setFileNumberText(QStringLiteral("7"));
        page->stepProgress(2);
        page->stepProgress(2);
        QCOMPARE(page->statusText(), QStringLiteral("Back up copy of /d/a.txt is current\n\n"
                                                    "- no backed up required."));
        QCOMPARE(page->edbFileNumber->text(), QStringLiteral("7"));
        QCOMPARE(page->pbrSequence->value(), 3); // held at the maximum

        page->addStatusLine(QStringLiteral("later"));
        page->setFileNumberText(QStringLiteral("8"));
        QCOMPARE(page->edbFileNumber->text(), QStringLiteral("7"));
        QTRY_COMPARE(page->edbFileNumber->text(), QStringLiteral("8"));
        QVERIFY(page->memStatus->toPlainText().endsWith(QStringLiteral("\nlater")));
        page->appendToLastStatusLine(QStringLiteral("..."));
        QVERIFY(page->statusText().endsWith(QStringLiteral("\nlater...")));
    }

    void exitAsksAndNoKeepsTheWindow()
    {
        auto env = freshProfile();
        TfrmKestrelClientMain window;
        window.show();
        env->prompt.queueAnswer(Prompt::Answer::No);
        QTest::mouseClick(window.summaryPage->btnExit, Qt::LeftButton);
        QVERIFY(window.isVisible());
        QVERIFY(window.runState.SequenceCancelled);
        QCOMPARE(env->prompt.questions().last(), QStringLiteral("Do you really want to exit?"));

        env->prompt.queueAnswer(Prompt::Answer::Yes);
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
        QVERIFY(env->prompt.unexpected().isEmpty());
    }

    // Ending without Exit (the session's end, the program's own end) stores what it
    // means to before the window goes; its pages store nothing while it is destroyed.
    void destroyedWindowStoresNothing()
    {
        auto env = freshProfile();
        auto window = std::make_unique<TfrmKestrelClientMain>();
        window->show();
        window->pgcKestrel->setCurrentWidget(window->backUpSettingsPage);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QString server = TQuayRegistryObject().ReadUserSMPTName();
        window->userSettingsPage->edbSMPTServer->setText("typed.example.org");
        window.reset();
        QCOMPARE(TQuayRegistryObject().ReadUserSMPTName(), server);
    }

    void resetAsksBeforeClearingTheByteTotal()
    {
        auto env = freshProfile();
        TQuayRegistryObject().WriteNumberOfBytesBackedUp(7000000);
        TfrmKestrelClientMain window;
        env->prompt.queueAnswer(Prompt::Answer::No);
        window.summaryPage->btnNumberOfBytesReset->click();
        QCOMPARE(TQuayRegistryObject().ReadNumberOfBytesBackedUp(), 7000000.0);
        QCOMPARE(window.summaryPage->edbTotalNumberOfBytesBackedUp->text(), QStringLiteral("7"));
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        window.summaryPage->btnNumberOfBytesReset->click();
        QCOMPARE(TQuayRegistryObject().ReadNumberOfBytesBackedUp(), 0.0);
        QCOMPARE(window.summaryPage->edbTotalNumberOfBytesBackedUp->text(), QStringLiteral("0"));
        QCOMPARE(env->prompt.questions(),
                 QStringList(2, QStringLiteral(
                                    "Do you want to reset the number of bytes bascked up to 0?")));
    }

    void startUpQuestions()
    {
        {
            // A new profile has not run the wizard: it is offered.
            TestEnvironment env;
            env.prompt.queueAnswer(Prompt::Answer::No);
            TfrmKestrelClientMain window;
            QCOMPARE(env.prompt.questions(),
                     QStringList{"Would you like to run the set up wizard now?"});
            QVERIFY(env.prompt.unexpected().isEmpty());
        }
        {
            auto env = freshProfile();
            TQuayRegistryObject().WriteStartMinimised(true);
            TfrmKestrelClientMain window;
            QVERIFY(env->prompt.questions().isEmpty());
            QVERIFY(window.windowState() & Qt::WindowMinimized);
        }
    }

    void largeLogQuestionAtStart_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("loadLogTree");
        QTest::addColumn<bool>("asks");
        QTest::newRow("exactly 100,000 bytes") << 100000 << true << false;
        QTest::newRow("100,001 bytes") << 100001 << true << true;
        QTest::newRow("large, loading off") << 200000 << false << false;
    }

    void largeLogQuestionAtStart()
    {
        QFETCH(int, size);
        QFETCH(bool, loadLogTree);
        QFETCH(bool, asks);
        auto env = freshProfile();
        const TQuayRegistryObject store;
        store.WriteLoadLogTree(loadLogTree);
        QFile log(store.ReadLogFile());
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write(QByteArray(size, 'x'));
        log.close();
        if (asks) {
            env->prompt.queueAnswer(Prompt::Answer::Yes); // defer
            env->prompt.queueAnswer(Prompt::Answer::Yes); // make it the default
        }
        TfrmKestrelClientMain window;
        QCOMPARE(env->prompt.questions().size(), asks ? 2 : 0);
        QCOMPARE(window.LoadLogTreeAtStart, loadLogTree && !asks);
        if (asks)
            QVERIFY(!store.ReadLoadLogTree());
    }

    void contextHelpFallsBackToThePage()
    {
        auto env = freshProfile();
        TfrmKestrelClientMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.pgcKestrel->setCurrentWidget(window.userSettingsPage);
        window.userSettingsPage->edbSMPTServer->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), window.userSettingsPage->edbSMPTServer);
        QCOMPARE(window.ContextHelpNumber(), 500);
        window.pgcKestrel->setCurrentWidget(window.backUpSettingsPage);
        window.backUpSettingsPage->ckbShutDown->setFocus();
        QCOMPARE(window.ContextHelpNumber(), 600);
        window.ShowContextHelp();
        QVERIFY(window.helpWindow());
        QCOMPARE(window.helpWindow()->currentTopic(), 600);
        QCOMPARE(HelpWindow::topicResource(600), QStringLiteral(":/help/600.html"));
        QCOMPARE(HelpWindow::topicResource(4711), QStringLiteral(":/help/100.html"));
    }

    void helpOnOpensTheTopicOfTheMainWindowsControlOrPage()
    {
        auto env = freshProfile();
        TfrmKestrelClientMain window;
        window.show();
        QApplication::setActiveWindow(&window);
        QTRY_VERIFY(window.isActiveWindow());
        QAction* helpOn = window.findChild<QAction*>(QStringLiteral("HelpOn1"));
        QCOMPARE(helpOn->text(), QStringLiteral("Help On..."));

        // A control of context 600 on "User Settings" gives that page's topic.
        window.pgcKestrel->setCurrentWidget(window.userSettingsPage);
        setHelpContext(window.userSettingsPage->edbSMPTServer, 600);
        window.userSettingsPage->edbSMPTServer->setFocus();
        helpOn->trigger();
        QCOMPARE(window.helpWindow()->currentTopic(), 500);

        // No help context set anywhere on "Back Up Log", and no active control at all.
        window.pgcKestrel->setCurrentWidget(window.backUpLogPage);
        setHelpContext(window.backUpLogPage, 0);
        window.backUpLogPage->trvBackUpLog->setFocus();
        window.ShowContextHelp();
        QCOMPARE(window.helpWindow()->currentTopic(), 400);
        window.backUpLogPage->trvBackUpLog->clearFocus();
        QVERIFY(!window.focusWidget());
        window.ShowContextHelp();
        QCOMPARE(window.helpWindow()->currentTopic(), 400);

        // The focus in another window (the password dialog carries 501) is not the main
        // window's active control: the tray's Help still follows the page shown.
        TQuayPasswordForm password;
        QCOMPARE(helpContext(&password), 501);
        password.show();
        QApplication::setActiveWindow(&password);
        password.ebPasswordOne->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(password.ebPasswordOne));
        window.findChild<QAction*>(QStringLiteral("pumHelp"))->trigger();
        QCOMPARE(window.helpWindow()->currentTopic(), 400);

        window.findChild<QAction*>(QStringLiteral("HelpContents1"))->trigger();
        QCOMPARE(window.helpWindow()->currentTopic(), HelpWindow::ContentsTopic);
    }

    // The help window's title names the topic shown, also one reached by a link.
    void helpTitleFollowsTheTopic()
    {
        auto env = freshProfile();
        HelpWindow help;
        help.showTopic(500);
        QCOMPARE(help.windowTitle(), QStringLiteral("KestrelSolo Help - User Settings"));
        auto* browser = help.findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
        // The page's "Contents" link, as a click follows it.
        browser->setSource(QUrl(QStringLiteral("qrc:/help/100.html")));
        QCOMPARE(help.currentTopic(), HelpWindow::ContentsTopic);
        QCOMPARE(help.windowTitle(), QStringLiteral("KestrelSolo Help - Contents"));
        browser->backward();
        QCOMPARE(help.currentTopic(), 500);
        QCOMPARE(help.windowTitle(), QStringLiteral("KestrelSolo Help - User Settings"));
        // A number without a topic shows the contents, and says so.
        help.showTopic(4711);
        QCOMPARE(help.windowTitle(), QStringLiteral("KestrelSolo Help - Contents"));
    }

    void failedSequenceWarningOnFirstFocus()
    {
        auto env = freshProfile();
        TQuayRegistryObject().WriteSequenceMessage(QStringLiteral(
            "Last back up sequence failed to complete.  Please check your connection."));
        TfrmKestrelClientMain window;
        window.show();
        QApplication::setActiveWindow(&window);
        QTRY_VERIFY(window.isActiveWindow());
        window.pgcKestrel->setFocus();
        QTRY_COMPARE(env->prompt.notices().size(), 1);
        QCOMPARE(env->prompt.notices().first(),
                 QStringLiteral(
                     "Last back up sequence failed to complete.  Please check your connection."));
        QVERIFY(TQuayRegistryObject().ReadSequenceMessage().isEmpty());
        window.summaryPage->btnExit->setFocus();
        window.pgcKestrel->setFocus();
        QCOMPARE(env->prompt.notices().size(), 1);
    }

    // What the user typed is stored before an action reads the settings, without
    // leaving the page first.
    void actionsReadWhatWasTyped_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("answerNo");
        QTest::newRow("restore") << QStringLiteral("RestoreFromMailbox1") << false;
        QTest::newRow("rebuild") << QStringLiteral("RebuildLogFromMailbox1") << true;
        QTest::newRow("last log request") << QStringLiteral("Get1") << true;
        QTest::newRow("wizard") << QStringLiteral("SetupWizard1") << false;
    }

    void actionsReadWhatWasTyped()
    {
        QFETCH(QString, action);
        QFETCH(bool, answerNo);
        auto env = freshProfile();
        TfrmKestrelClientMain window;
        window.pgcKestrel->setCurrentWidget(window.userSettingsPage);
        window.userSettingsPage->spnIMAPPort->setValue(1143);
        if (answerNo)
            env->prompt.queueAnswer(Prompt::Answer::No);
        window.findChild<QAction*>(action)->trigger();
        QCOMPARE(TQuayRegistryObject().ReadUserIMAPPort(), 1143);
    }

    void menusAndButtonsReachTheirHandlers()
    {
        auto env = freshProfile();
        TfrmKestrelClientMain window;
        const QString file = env->writeFile(QStringLiteral("docs/a.txt"), "a");
        env->prompt.queueFiles(QStringList{file});
        window.findChild<QAction*>(QStringLiteral("FilesBrowse1"))->trigger();
        QCOMPARE(window.fileSelectionPage->trvFiles->topLevelItemCount(), 1);
        env->prompt.queueText(env->root() + QStringLiteral("/docs"));
        window.findChild<QAction*>(QStringLiteral("pumAddFolder"))->trigger();
        QCOMPARE(window.folderSelectionPage->trvFolders->topLevelItemCount(), 1);

        env->prompt.queueAnswer(Prompt::Answer::No);
        window.findChild<QAction*>(QStringLiteral("Get1"))->trigger();
        QCOMPARE(env->prompt.questions().last(),
                 QStringLiteral("Send back up request for last back up log file?"));

        // Cancel ends the sequence as failed at once and returns the buttons to idle.
        window.summaryPage->btnBackUpSequenceCancel->setEnabled(true);
        window.summaryPage->btnRunBackUp->setEnabled(false);
        window.summaryPage->btnBackUpSequenceCancel->click();
        QVERIFY(window.runState.SequenceCancelled);
        QVERIFY(window.summaryPage->btnRunBackUp->isEnabled());
        QVERIFY(!TQuayRegistryObject().ReadBackUpSequenceSuccess());
        QVERIFY(TQuayRegistryObject().ReadSequenceFile().startsWith(
            QStringLiteral("Sequence Data - ")));
    }

    void damagedSettingsAreReportedOnce()
    {
        auto env = std::make_unique<TestEnvironment>();
        QDir().mkpath(QFileInfo(SettingsDatabase::defaultPath()).absolutePath());
        QFile damaged(SettingsDatabase::defaultPath());
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(2048, '\x7f'));
        damaged.close();
        {
            TfrmKestrelClientMain window;
            QCOMPARE(env->prompt.notices().size(), 1);
            QVERIFY(env->prompt.notices().first().contains(SettingsDatabase::defaultPath()));
        }
        env->prompt.clear();
        TfrmKestrelClientMain again;
        QVERIFY(env->prompt.notices().isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
