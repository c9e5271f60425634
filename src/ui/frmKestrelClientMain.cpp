#include "ui/frmKestrelClientMain.h"

#include "core/EditionProfile.h"
#include "core/PlatformServices.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/BackUpRequests.h"
#include "sequence/BackUpSequence.h"
#include "sequence/SequenceCompletion.h"
#include "ui/BackUpLogPage.h"
#include "ui/BackUpLogView.h"
#include "ui/BackUpSettingsPage.h"
#include "ui/ControlHelpers.h"
#include "ui/DCMinTray.h"
#include "ui/FileSelectionPage.h"
#include "ui/FolderSelectionPage.h"
#include "ui/HelpWindow.h"
#include "ui/MainMenus.h"
#include "ui/MainWindowSequenceWindow.h"
#include "ui/QuayShutDown.h"
#include "ui/RestoreWindow.h"
#include "ui/SettingsPagesBinding.h"
#include "ui/SummaryPage.h"
#include "ui/UserSettingsPage.h"
#include "ui/frmAutoRun.h"
#include "ui/frmKestrelWizard.h"
#include "ui/frmSplash.h"
#include "winintegration/GnomeSessionClient.h"
#include "winintegration/SessionEndHandling.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSessionManager>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

namespace {
const QString SupportAddress = QStringLiteral("support@orrery.example");
const QString MakerWebPage = QStringLiteral("https://www.orrery.example/");
} // namespace

TfrmKestrelClientMain::TfrmKestrelClientMain(QWidget* parent) : QMainWindow(parent)
{
    // The window and its controls.
    setObjectName(QStringLiteral("frmKestrelClientMain"));
    setWindowTitle(currentProfile().name);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setHelpContext(this, 100);
    buildPages();
    // The designed 515 pixels, or as wide as the page tabs need with the desktop's font.
    resize(qMax(515, pgcKestrel->tabBar()->sizeHint().width() + 24), 591);
    menus = new MainMenus(this);
    tray = new TDCMinTray(this);
    tray->SetPopupMenu(menus->pumMain);
    tray->SetHint(QApplication::applicationName());
    createTimers();
    m_settings = new SettingsPagesBinding(summaryPage, userSettingsPage, backUpSettingsPage,
                                          folderSelectionPage, &SuppressCloseTrayPrompt, this);
    logView = new BackUpLogView(backUpLogPage, summaryPage, runState, &LoadLogTreeAtStart, this);
    m_sequenceWindow = std::make_unique<MainWindowSequenceWindow>(
        *this, [this] { logView->RefreshLogTree(TQuayRegistryObject().ReadLogFile()); });
    m_completion = std::make_unique<SequenceCompletion>(*m_sequenceWindow, runState);
    m_sequence = std::make_unique<BackUpSequence>(*m_sequenceWindow, *m_completion);
    m_sessionEnd = std::make_unique<SessionEndHandling>(
        runState.ShutDownTriggered,
        SessionEndHandling::Actions{[this] {
                                        tray->restore();
                                        showMaximized();
                                    },
                                    [this] { RunBackUpSequence(); },
                                    [this] {
                                        m_completion->ShutDownDelayElapsed();
                                    }});
    connectControls();
    connectSessionEnd();
    // The splash shows while the settings and lists load.
    auto splash = std::make_unique<TfrmSplash>(this);
    splash->showSplash();
    splash->lblProductVersion->setVisible(false);
    splash->tmrClose->stop();

    // Window state of a sequence.
    SuppressCloseTrayPrompt = true;
    runState.ShutDownTriggered = false;
    runState.PendingLogLines.clear();

    // A step that fails is told and the window still opens: the program must start
    // whatever state its files are in.
    m_unattended.checkSettings();
    // The list and log locations (their defaults are stored on first read); no sequence
    // is being started by the countdown.
    const TQuayRegistryObject store;
    QString logFile;
    m_unattended.run([&] {
        // Settled before anything makes a list: a profile without lists is a new one.
        store.ReadExcludeCacheFolders();
        store.ReadExcludeFilesLargerThanMB();
        store.ReadFileOfFiles();
        store.ReadFileOfDirectories();
        logFile = store.ReadLogFile();
        store.WriteRunSequenceNow(false);
    });

    m_unattended.run([this] { RefreshFromSettings(); });
    LoadLogTreeAtStart = true;
    // The file-manager entry is registered at every start: here when it is not marked
    // registered, otherwise by the refresh above, which ticked its box.
    m_unattended.run([this] {
        if (!TQuayRegistryObject().ReadDLLRegistered())
            m_settings->registerFileManagerEntry();
    });
    applyEditionChanges();
    IconKeyList = {QStringLiteral("drive"),
                   QStringLiteral("folder"),
                   QStringLiteral("kestrelbackupfolder"),
                   QStringLiteral("kestrelbackedupfolder"),
                   QStringLiteral(".zip"),
                   QStringLiteral("unkownfiletype")};
    logView->setIconKeyList(IconKeyList);
    fileSelectionPage->setIconKeyList(IconKeyList);
    // The selection trees from their list files, then the log tree if it may load now.
    fileSelectionPage->loadList();
    folderSelectionPage->loadList();
    fileSelectionPage->trvFiles->expandAll();
    folderSelectionPage->trvFolders->expandAll();
    m_unattended.run([&] { logView->loadAtStartUp(logFile); });
    pgcKestrel->setCurrentWidget(summaryPage);
    summaryPage->clearStatus();
    splash->finishStartUp();
    splash.reset();
    // Every start offers the wizard until it has been finished once.
    if (!store.ReadWizzardRun() &&
        Services::prompt().ask(QStringLiteral("Would you like to run the set up wizard now?")) ==
            Prompt::Answer::Yes)
        ShowSetupWizard();
    if (backUpSettingsPage->ckbRunSequenceOnStartUp->isChecked())
        showAutoRunCountdown();
    // Shown minimised, after the countdown, which stays on top of the desktop; the tray
    // icon then takes over where the desktop has one.
    if (backUpSettingsPage->ckbStartUpMinimised->isChecked())
        setWindowState(windowState() | Qt::WindowMinimized);
}

TfrmKestrelClientMain::~TfrmKestrelClientMain()
{
    // The pages are hidden as the widget base class deletes them, when this window is
    // no longer whole: what is to be kept was stored by Exit or the session's end.
    disconnect(backUpSettingsPage, &BackUpSettingsPage::hidden, this, nullptr);
    // The countdowns outlive no window: the auto-run one calls this window's sequence,
    // and no shut-down may follow a program that has ended. An open wizard goes too.
    delete m_autoRun;
    delete m_shutDown;
    delete m_wizard;
}

TfrmKestrelWizard* TfrmKestrelClientMain::ShowSetupWizard()
{
    saveEdits();
    if (!m_wizard) {
        m_wizard = new TfrmKestrelWizard;
        m_wizard->setDiscWriter(m_discWriter);
    }
    m_wizard->show();
    m_wizard->raise();
    m_wizard->activateWindow();
    return m_wizard;
}

void TfrmKestrelClientMain::openShutDownCountdown()
{
    // One countdown at a time: a second request only brings the open one to the front.
    if (!m_shutDown) {
        m_shutDown = new TQuayShutDown;
        m_shutDown->show();
    }
    m_shutDown->raise();
    m_shutDown->activateWindow();
}

TQuayShutDown* TfrmKestrelClientMain::shutDownWindow() const
{
    return m_shutDown;
}

bool TfrmKestrelClientMain::QueryEndSession()
{
    return m_sessionEnd->QueryEndSession();
}

void TfrmKestrelClientMain::connectSessionEnd()
{
    connect(this, &TfrmKestrelClientMain::shutDownCountdownRequested, this,
            &TfrmKestrelClientMain::openShutDownCountdown);
#ifndef QT_NO_SESSIONMANAGER
    // X11 session managers ask through the session-management protocol. Connected
    // directly: the answer must be given before the handler returns.
    connect(
        qApp, &QGuiApplication::commitDataRequest, this,
        [this](QSessionManager& manager) {
            // Where the session manager's client interface has the program registered,
            // that side answers; the same end of the session is not refused twice.
            if (m_gnomeSession->isRegistered())
                return;
            if (!QueryEndSession() && manager.allowsInteraction())
                manager.cancel();
        },
        Qt::DirectConnection);
#endif
    m_gnomeSession = new GnomeSessionClient([this] { return QueryEndSession(); }, this);
    connect(m_gnomeSession, &GnomeSessionClient::stopRequested, this, [this] {
        // The session is going away now; what the user entered is kept.
        runState.cancelByUser();
        m_unattended.run([this] { SaveTreesAndSettings(); });
        TerminateApplication();
    });
    connect(backUpSettingsPage->ckbRunBackUpSequenceOnWindowsShutDown, &QCheckBox::toggled, this,
            &TfrmKestrelClientMain::followRunSequenceOnShutDown);
    const bool x11SessionManager = QGuiApplication::platformName() == QLatin1String("xcb") &&
                                   !qEnvironmentVariableIsEmpty("SESSION_MANAGER");
    m_sessionEndCanBeHeld = x11SessionManager || GnomeSessionClient::isAvailable();
    backUpSettingsPage->setSessionEndCanBeHeld(m_sessionEndCanBeHeld);
}

void TfrmKestrelClientMain::followRunSequenceOnShutDown(bool on)
{
    // Registered only while the setting is on, so the session manager never waits on
    // a program that would allow the end anyway.
    m_gnomeSession->setRegistered(on);
}

void TfrmKestrelClientMain::showAutoRunCountdown()
{
    m_autoRun = new TfrmAutoRun([this] { RunBackUpSequence(); });
    m_autoRun->show();
}

void TfrmKestrelClientMain::buildPages()
{
    pgcKestrel = new QTabWidget(this);
    pgcKestrel->setObjectName(QStringLiteral("pgcKestrel"));
    summaryPage = new SummaryPage(pgcKestrel);
    fileSelectionPage = new FileSelectionPage(pgcKestrel);
    folderSelectionPage = new FolderSelectionPage(pgcKestrel);
    backUpLogPage = new BackUpLogPage(pgcKestrel);
    userSettingsPage = new UserSettingsPage(pgcKestrel);
    backUpSettingsPage = new BackUpSettingsPage(pgcKestrel);
    pgcKestrel->addTab(summaryPage, QStringLiteral("Summary"));
    pgcKestrel->addTab(fileSelectionPage, QStringLiteral("File Selection"));
    pgcKestrel->addTab(folderSelectionPage, QStringLiteral("Folder Selection"));
    pgcKestrel->addTab(backUpLogPage, QStringLiteral("Back Up Log"));
    pgcKestrel->addTab(userSettingsPage, QStringLiteral("User Settings"));
    pgcKestrel->addTab(backUpSettingsPage, QStringLiteral("Back Up Settings"));
    setCentralWidget(pgcKestrel);
}

void TfrmKestrelClientMain::createTimers()
{
    const auto makeTimer = [this](const QString& name, int interval) {
        auto* timer = new QTimer(this);
        timer->setObjectName(name);
        timer->setInterval(interval);
        return timer;
    };
    tmrFindSubFolders = makeTimer(QStringLiteral("tmrFindSubFolders"), 5000);

    connect(tmrFindSubFolders, &QTimer::timeout, this,
            [this] { summaryPage->appendToLastStatusLine(QStringLiteral(".")); });
}

void TfrmKestrelClientMain::connectControls()
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    pgcKestrel->setContextMenuPolicy(Qt::CustomContextMenu);
    const auto popUp = [this](const QPoint&) {
        menus->pumMain->popup(QCursor::pos());
    };
    connect(this, &QWidget::customContextMenuRequested, this, popUp);
    connect(pgcKestrel, &QWidget::customContextMenuRequested, this, popUp);

    connect(summaryPage->btnRunBackUp, &QPushButton::clicked, this,
            &TfrmKestrelClientMain::RunBackUpSequence);
    connect(summaryPage->btnBackUpSequenceCancel, &QPushButton::clicked, this,
            &TfrmKestrelClientMain::CancelSequence);
    connect(menus->FilesBrowse, &QAction::triggered, fileSelectionPage, &FileSelectionPage::browse);
    connect(menus->pumAddFile, &QAction::triggered, fileSelectionPage, &FileSelectionPage::browse);
    connect(menus->FoldersBrowse, &QAction::triggered, folderSelectionPage,
            &FolderSelectionPage::browse);
    connect(menus->pumAddFolder, &QAction::triggered, folderSelectionPage,
            &FolderSelectionPage::browse);
    connect(menus->Get1, &QAction::triggered, this, &TfrmKestrelClientMain::requestLastLog);
    connect(backUpLogPage->btnAddFileBackUpRequest, &QPushButton::clicked, this,
            &TfrmKestrelClientMain::requestSelectedFile);
    // The warning a failed sequence left is shown when the focus first enters the pages
    // (the tab bar or any control on a page).
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && (now == pgcKestrel || pgcKestrel->isAncestorOf(now)))
            m_completion->ShowSequenceMessageOnce();
    });
    connect(menus->pumRunBackUpNow, &QAction::triggered, this,
            &TfrmKestrelClientMain::RunBackUpSequence);
    connect(summaryPage->btnExit, &QPushButton::clicked, this, [this] {
        runState.cancelByUser();
        close();
    });
    connect(menus->FileExit, &QAction::triggered, this, &QWidget::close);
    connect(summaryPage->btnNumberOfBytesReset, &QPushButton::clicked, this,
            &TfrmKestrelClientMain::resetBytesBackedUp);

    connect(menus->HelpOn, &QAction::triggered, this, &TfrmKestrelClientMain::ShowContextHelp);
    connect(menus->pumHelp, &QAction::triggered, this, &TfrmKestrelClientMain::ShowContextHelp);
    connect(menus->HelpContents, &QAction::triggered, this,
            [this] { openHelp(HelpWindow::ContentsTopic); });
    connect(menus->HelpAbout, &QAction::triggered, this, &TfrmKestrelClientMain::ShowAbout);
    connect(menus->HelpEmailUs, &QAction::triggered, this, &TfrmKestrelClientMain::emailUs);
    connect(menus->HelpContactUs, &QAction::triggered, this, &TfrmKestrelClientMain::contactUs);
    connect(menus->New1, &QAction::triggered, logView, &BackUpLogView::newLogFile);
    connect(menus->Open1, &QAction::triggered, logView, &BackUpLogView::openExistingLogFile);
    connect(menus->LogFileName1, &QAction::triggered, logView, &BackUpLogView::showLogFileName);
    connect(menus->ArchiveLogFile1, &QAction::triggered, logView, &BackUpLogView::archiveLogFile);
    connect(menus->RestoreFromMailbox1, &QAction::triggered, this, [this] { ShowRestoreWindow(); });
    connect(menus->RebuildLogFromMailbox1, &QAction::triggered, this, [this] {
        saveEdits();
        logView->rebuildLogFromMailbox();
    });
    connect(logView, &BackUpLogView::restoreFromMailboxRequested, this,
            [this](const QString& path) { ShowRestoreWindow(path); });
    connect(menus->ToolsSetupWizard, &QAction::triggered, this, [this] {
        ShowSetupWizard();
        RefreshFromSettings();
    });

    connect(backUpSettingsPage, &BackUpSettingsPage::hidden, this,
            &TfrmKestrelClientMain::StoreSettings);
    connect(userSettingsPage, &UserSettingsPage::backUpAddressDoubleClicked, this, [this] {
        if (!isEdition(Edition::KestrelDrive))
            return;
        // The browser opens at the folder chosen before, while it is there.
        const QString current = userSettingsPage->edbUserBackUpEmailAddress->text();
        const auto folder = Services::prompt().chooseFolder(
            QStringLiteral("Select Folder"),
            QFileInfo(current).isDir() ? current : QDir::homePath());
        if (folder)
            userSettingsPage->edbUserBackUpEmailAddress->setText(*folder);
    });
}

void TfrmKestrelClientMain::applyEditionChanges()
{
    UserSettingsPage* user = userSettingsPage;
    BackUpSettingsPage* backUp = backUpSettingsPage;
    const auto hide = [](std::initializer_list<QWidget*> widgets) {
        for (QWidget* widget : widgets)
            widget->setVisible(false);
    };
    const auto becomeDrivePage = [this, user] {
        user->grbUserInformation->setTitle(QStringLiteral("Drive Details"));
        pgcKestrel->setTabText(pgcKestrel->indexOf(user), QStringLiteral("Drive"));
    };
    if (!isEdition(Edition::KestrelSolo)) {
        hide({user->grbIMAPInformation});
        menus->RestoreFromMailbox1->setVisible(false);
        menus->RebuildLogFromMailbox1->setVisible(false);
    }
    switch (currentEdition()) {
    case Edition::KestrelClient:
        hide({user->lblBackUpDrive, user->edbCDDrive, user->btnBrowseCDImage, user->lblEmailAddress,
              user->edbUserBackUpEmailAddress, backUp->ckbOverWriteFiles});
        break;
    case Edition::KestrelSolo:
        hide({user->lblBackUpDrive, user->edbCDDrive, user->btnBrowseCDImage,
              backUp->ckbOverWriteFiles});
        break;
    case Edition::KestrelCD:
        hide({backUp->ckbDisconnectConnection, backUpLogPage->btnAddFileBackUpRequest,
              user->lblEmailAddress, user->edbUserBackUpEmailAddress, user->grbSMTPInformation,
              user->lblZipBackUp, user->edbZipBackUpFilePassword, user->btnChangeZipPassword});
        for (QWidget* widget : {static_cast<QWidget*>(backUp->ckbCloseTray),
                                static_cast<QWidget*>(user->lblMediaCapacity),
                                static_cast<QWidget*>(user->edbMediaCapacity)})
            widget->setVisible(true);
        becomeDrivePage();
        break;
    case Edition::KestrelDrive:
        hide({user->lblZipBackUp, user->edbZipBackUpFilePassword, user->btnChangeZipPassword,
              user->lblBackUpDrive, backUp->ckbDisconnectConnection, user->edbCDDrive,
              user->btnBrowseCDImage, user->grbSMTPInformation,
              backUpLogPage->btnAddFileBackUpRequest});
        menus->Get1->setVisible(false);
        user->lblEmailAddress->setText(QStringLiteral("Back Up Folder:"));
        user->edbUserBackUpEmailAddress->setReadOnly(true);
        user->edbUserBackUpEmailAddress->setToolTip(QStringLiteral("Double click to change."));
        becomeDrivePage();
        break;
    }
}

RestoreWindow* TfrmKestrelClientMain::ShowRestoreWindow(const QString& path)
{
    if (!isEdition(Edition::KestrelSolo))
        return nullptr;
    saveEdits();
    if (!m_restore) {
        m_restore = new RestoreWindow(m_mailboxSource, this);
        m_restore->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_restore, &RestoreWindow::helpRequested, this, &TfrmKestrelClientMain::openHelp);
    }
    if (!path.isEmpty() && !m_restore->busy())
        m_restore->preselect(path);
    m_restore->show();
    m_restore->raise();
    m_restore->activateWindow();
    return m_restore;
}

RestoreWindow* TfrmKestrelClientMain::restoreWindow() const
{
    return m_restore;
}

void TfrmKestrelClientMain::setMailboxSource(MailboxSourceFactory factory)
{
    m_mailboxSource = factory;
    logView->setMailboxSource(std::move(factory));
}

void TfrmKestrelClientMain::setDiscWriter(std::shared_ptr<DiscWriter> writer)
{
    m_discWriter = writer;
    m_sequence->setDiscWriter(writer);
    m_settings->setDiscWriter(writer);
    if (m_wizard)
        m_wizard->setDiscWriter(writer);
}

void TfrmKestrelClientMain::LoadLogIntoTree(const QString& logFile)
{
    logView->LoadLogIntoTree(logFile);
}

void TfrmKestrelClientMain::RefreshFromSettings()
{
    m_settings->refreshFromSettings();
}

void TfrmKestrelClientMain::StoreSettings()
{
    m_settings->storeSettings();
}

void TfrmKestrelClientMain::saveEdits()
{
    // A store that fails is told; the action goes on with what the store holds.
    m_unattended.run([this] { StoreSettings(); });
}

void TfrmKestrelClientMain::SaveTreesAndSettings()
{
    fileSelectionPage->saveList();
    folderSelectionPage->saveList();
    StoreSettings();
}

void TfrmKestrelClientMain::RunBackUpSequence()
{
    m_sequence->RunBackUpSequence();
}

bool TfrmKestrelClientMain::SequenceRunning() const
{
    return m_sequence->isRunning();
}

void TfrmKestrelClientMain::EndSequenceSucceeded()
{
    m_completion->EndSequenceSucceeded();
}

void TfrmKestrelClientMain::EndSequenceFailed()
{
    m_completion->EndSequenceFailed();
}

void TfrmKestrelClientMain::HangUpAndShutDownIfSet()
{
    m_completion->HangUpAndShutDownIfSet();
}

void TfrmKestrelClientMain::CancelSequence()
{
    m_completion->CancelSequence();
}

void TfrmKestrelClientMain::requestLastLog()
{
    saveEdits();
    BackUpRequests::requestLastLog(EMSMessage, [this] { HangUpAndShutDownIfSet(); });
}

void TfrmKestrelClientMain::requestSelectedFile()
{
    const QTreeWidgetItem* node = backUpLogPage->trvBackUpLog->currentItem();
    if (!node)
        return;
    saveEdits();
    const QString fileText = node->parent() ? node->parent()->text(0) : QString();
    BackUpRequests::requestFile(EMSMessage, node->text(0), fileText, node->childCount() > 0);
}

void TfrmKestrelClientMain::resetBytesBackedUp()
{
    if (Services::prompt().ask(QStringLiteral(
            "Do you want to reset the number of bytes bascked up to 0?")) != Prompt::Answer::Yes)
        return;
    TQuayRegistryObject().WriteNumberOfBytesBackedUp(0.0);
    summaryPage->edbTotalNumberOfBytesBackedUp->setText(QStringLiteral("0"));
}

int TfrmKestrelClientMain::ContextHelpNumber() const
{
    int context = 0;
    // The main window's own active control: the focus may be in another window, such
    // as an About box or a dialog, when the tray asks for help.
    for (const QWidget* widget = focusWidget(); widget && widget != this;
         widget = widget->parentWidget()) {
        context = helpContext(widget);
        if (context != 0)
            break;
    }
    if (context == 0 || context == 600) {
        static const int pageContexts[] = {150, 200, 300, 400, 500, 600};
        const int page = pgcKestrel->currentIndex();
        context = page >= 0 && page < 6 ? pageContexts[page] : 150;
    }
    return context;
}

void TfrmKestrelClientMain::ShowContextHelp()
{
    openHelp(ContextHelpNumber());
}

TfrmSplash* TfrmKestrelClientMain::ShowAbout()
{
    auto* about = new TfrmSplash(this);
    about->showSplash();
    about->turnIntoAbout();
    return about;
}

void TfrmKestrelClientMain::openHelp(int context)
{
    if (!m_help)
        m_help = new HelpWindow(this);
    m_help->showTopic(context);
}

void TfrmKestrelClientMain::emailUs()
{
    if (isEdition(Edition::KestrelClient))
        return;
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("mailto:%1?Subject=%2: ").arg(SupportAddress, currentProfile().name)));
}

void TfrmKestrelClientMain::contactUs()
{
    QDesktopServices::openUrl(QUrl(MakerWebPage));
}

void TfrmKestrelClientMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        tray->windowStateChanged();
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow())
        onActivated();
    else
        onDeactivated();
}

void TfrmKestrelClientMain::onActivated()
{
    RefreshFromSettings();
    SuppressCloseTrayPrompt = false;
}

void TfrmKestrelClientMain::onDeactivated()
{
    if (!m_terminating)
        m_unattended.run([this] { SaveTreesAndSettings(); });
}

void TfrmKestrelClientMain::closeEvent(QCloseEvent* event)
{
    if (m_terminating) {
        event->accept();
        return;
    }
    runState.cancelByUser();
    // A save that fails must not keep the user from closing the program.
    m_unattended.run([this] { SaveTreesAndSettings(); });
    if (Services::prompt().ask(QStringLiteral("Do you really want to exit?")) ==
        Prompt::Answer::Yes) {
        // A restore in progress stops, and its window closes once its step has ended.
        if (m_restore)
            m_restore->close();
        event->accept();
    } else {
        event->ignore();
    }
}

void TfrmKestrelClientMain::TerminateApplication()
{
    m_terminating = true;
    QCoreApplication::quit();
}
