#pragma once

#include "core/UnattendedSteps.h"
#include "restore/MailboxSource.h"
#include "sequence/SequenceState.h"
#include "transport/IdMessage.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <memory>

class QTabWidget;
class QTimer;
class SummaryPage;
class FileSelectionPage;
class FolderSelectionPage;
class BackUpLogPage;
class UserSettingsPage;
class BackUpSettingsPage;
class SettingsPagesBinding;
class MainMenus;
class HelpWindow;
class BackUpLogView;
class MainWindowSequenceWindow;
class SequenceCompletion;
class BackUpSequence;
class TfrmSplash;
class TfrmAutoRun;
class TfrmKestrelWizard;
class RestoreWindow;
class TDCMinTray;
class TQuayShutDown;
class SessionEndHandling;
class GnomeSessionClient;
class DiscWriter;

// The program's one main window. It owns the six pages, the menus, the timers and
// the window state of a sequence, and adapts itself to the running edition.
class TfrmKestrelClientMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TfrmKestrelClientMain(QWidget* parent = nullptr);
    ~TfrmKestrelClientMain() override;

    // The state of the window's sequence, owned here and handed by reference to the
    // sequence, its end operations and the log view.
    SequenceState runState;
    bool SuppressCloseTrayPrompt = true;
    bool LoadLogTreeAtStart = true;
    QStringList IconKeyList;

    QTabWidget* pgcKestrel;
    SummaryPage* summaryPage;
    FileSelectionPage* fileSelectionPage;
    FolderSelectionPage* folderSelectionPage;
    BackUpLogPage* backUpLogPage;
    UserSettingsPage* userSettingsPage;
    BackUpSettingsPage* backUpSettingsPage;
    MainMenus* menus;
    // The notification-area icon while the window is minimised.
    TDCMinTray* tray;
    BackUpLogView* logView;

    QTimer* tmrFindSubFolders;

    // The message component: every save note and request is filled into it.
    TIdMessage EMSMessage;

    // Reloads the settings controls and the Summary page from the store and writes
    // the summary into the status memo.
    void RefreshFromSettings();
    // Stores the settings pages in the store.
    void StoreSettings();
    // Stores what the user typed on the pages before anything reads the settings
    // (restore, requests, the wizard, the rebuild); a store that fails is told.
    void saveEdits();
    // The save points of the selection lists and settings: deactivation and close.
    void SaveTreesAndSettings();
    // Runs a backup sequence; returns at once while one is running.
    void RunBackUpSequence();
    bool SequenceRunning() const;
    void EndSequenceSucceeded();
    void EndSequenceFailed();
    void HangUpAndShutDownIfSet();
    void CancelSequence();
    // Shows the help topic of the focused control, or of the page shown: "Help On...",
    // the pop-up menu's and the tray's "Help".
    void ShowContextHelp();
    int ContextHelpNumber() const;
    // Fills the log tree from a log file.
    void LoadLogIntoTree(const QString& logFile);
    HelpWindow* helpWindow() const { return m_help; }
    // "About...": a window of its own each time, freed when the user closes it.
    TfrmSplash* ShowAbout();

    // Opens the setup wizard beside this window, or brings the open one forward.
    TfrmKestrelWizard* ShowSetupWizard();

    // "Restore From Mailbox...": opens the restore window beside this one, or brings
    // the open one forward; a path (from the log tree) filters and preselects it.
    RestoreWindow* ShowRestoreWindow(const QString& path = QString());
    RestoreWindow* restoreWindow() const;
    // The mailbox that restores and the log rebuild read; empty: the IMAP reader of
    // the stored settings.
    void setMailboxSource(MailboxSourceFactory factory);
    // The disc writing program of the CD edition: its burns, the burners the Drive
    // page and the wizard offer. The real xorriso unless set.
    void setDiscWriter(std::shared_ptr<DiscWriter> writer);

    // Ends the program without the close question (after a sequence).
    void TerminateApplication();

    // The session manager asks whether the session may end; true allows it.
    bool QueryEndSession();
    // The end-of-session timer and the 30 s delay before the shut-down countdown.
    SessionEndHandling& sessionEnd() const { return *m_sessionEnd; }
    // The shut-down countdown while it is open.
    TQuayShutDown* shutDownWindow() const;
    // Whether the desktop lets the program hold the end of the session back.
    bool sessionEndCanBeHeld() const { return m_sessionEndCanBeHeld; }
    GnomeSessionClient* sessionClient() const { return m_gnomeSession; }

Q_SIGNALS:
    // Actions whose windows are built elsewhere in the program.
    void shutDownCountdownRequested();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPages();
    void connectControls();
    void createTimers();
    void applyEditionChanges();
    void resetBytesBackedUp();
    void requestLastLog();
    void requestSelectedFile();
    void openHelp(int context);
    void emailUs();
    void contactUs();
    void onActivated();
    void onDeactivated();
    void showAutoRunCountdown();
    void openShutDownCountdown();
    void connectSessionEnd();
    void followRunSequenceOnShutDown(bool on);

    SettingsPagesBinding* m_settings = nullptr;
    std::unique_ptr<MainWindowSequenceWindow> m_sequenceWindow;
    std::unique_ptr<SequenceCompletion> m_completion;
    std::unique_ptr<BackUpSequence> m_sequence;
    HelpWindow* m_help = nullptr;
    // Without an owner, so that it stays shown while this window is minimised.
    QPointer<TfrmAutoRun> m_autoRun;
    QPointer<TQuayShutDown> m_shutDown;
    std::unique_ptr<SessionEndHandling> m_sessionEnd;
    GnomeSessionClient* m_gnomeSession = nullptr;
    bool m_sessionEndCanBeHeld = false;
    QPointer<TfrmKestrelWizard> m_wizard;
    QPointer<RestoreWindow> m_restore;
    MailboxSourceFactory m_mailboxSource;
    std::shared_ptr<DiscWriter> m_discWriter;
    UnattendedSteps m_unattended;
    bool m_terminating = false;
};
