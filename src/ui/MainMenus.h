#pragma once

#include <QObject>

class QAction;
class QMainWindow;
class QMenu;

// The main menu bar and the pop-up menu pumMain (window, page control and tray).
// The window connects the actions; this class only builds them with their names,
// captions and hints.
class MainMenus : public QObject
{
    Q_OBJECT

public:
    explicit MainMenus(QMainWindow* window);

    QAction* FileExit;
    QAction* FilesBrowse;
    QAction* FoldersBrowse;
    QMenu* BackupLog1;
    QAction* New1;
    QAction* Open1;
    QAction* LogFileName1;
    QAction* ArchiveLogFile1;
    QAction* Get1;
    // KestrelSolo only: the mailbox is its backup store.
    QAction* RestoreFromMailbox1;
    QAction* RebuildLogFromMailbox1;
    QAction* ToolsSetupWizard;
    QAction* HelpContents;
    QAction* HelpOn;
    QAction* HelpAbout;
    QAction* HelpEmailUs;
    QAction* HelpContactUs;

    QMenu* pumMain;
    QAction* pumHelp;
    QAction* pumRunBackUpNow;
    QAction* pumAddFile;
    QAction* pumAddFolder;
};
