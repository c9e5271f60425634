#include "ui/MainMenus.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {
QAction* addAction(QMenu* menu, const QString& objectName, const QString& caption,
                   const QString& hint = {})
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(objectName);
    if (!hint.isEmpty()) {
        action->setToolTip(hint);
        action->setStatusTip(hint);
    }
    return action;
}

QMenu* addMenu(QMenuBar* bar, const QString& objectName, const QString& caption)
{
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(objectName);
    return menu;
}
} // namespace

MainMenus::MainMenus(QMainWindow* window) : QObject(window)
{
    QMenuBar* bar = window->menuBar();
    QMenu* file = addMenu(bar, QStringLiteral("File1"), QStringLiteral("&File"));
    FileExit = addAction(file, QStringLiteral("Exit1"), QStringLiteral("E&xit"));

    QMenu* files = addMenu(bar, QStringLiteral("Files1"), QStringLiteral("F&iles"));
    FilesBrowse = addAction(files, QStringLiteral("FilesBrowse1"), QStringLiteral("&Browse"),
                            QStringLiteral("Browse for files to add to files list."));

    QMenu* folders = addMenu(bar, QStringLiteral("Folders1"), QStringLiteral("F&olders"));
    FoldersBrowse = addAction(folders, QStringLiteral("FoldersBrowse1"), QStringLiteral("&Browse"));

    BackupLog1 = addMenu(bar, QStringLiteral("BackupLog1"), QStringLiteral("&Backup Log"));
    New1 = addAction(BackupLog1, QStringLiteral("New1"), QStringLiteral("New Log File"),
                     QStringLiteral("Start a new log file."));
    Open1 =
        addAction(BackupLog1, QStringLiteral("Open1"), QStringLiteral("Open An Existing Log File"),
                  QStringLiteral("Open an existing log file."));
    LogFileName1 =
        addAction(BackupLog1, QStringLiteral("LogFileName1"), QStringLiteral("Log File Name"));
    ArchiveLogFile1 = addAction(BackupLog1, QStringLiteral("ArchiveLogFile1"),
                                QStringLiteral("Archive Log File"));
    Get1 = addAction(BackupLog1, QStringLiteral("Get1"), QStringLiteral("Get Last Log File"),
                     QStringLiteral("Send a request to get the last backed up log file."));
    BackupLog1->addSeparator();
    RestoreFromMailbox1 = addAction(BackupLog1, QStringLiteral("RestoreFromMailbox1"),
                                    QStringLiteral("Restore From Mailbox..."),
                                    QStringLiteral("Restore saved files from the backup mailbox."));
    RebuildLogFromMailbox1 =
        addAction(BackupLog1, QStringLiteral("RebuildLogFromMailbox1"),
                  QStringLiteral("Rebuild Log From Mailbox"),
                  QStringLiteral("Write a new log from the save notes in the backup mailbox."));

    QMenu* tools = addMenu(bar, QStringLiteral("Tools1"), QStringLiteral("&Tools"));
    ToolsSetupWizard =
        addAction(tools, QStringLiteral("SetupWizard1"), QStringLiteral("Setup Wizard"));

    QMenu* help = addMenu(bar, QStringLiteral("Help1"), QStringLiteral("&Help"));
    HelpContents =
        addAction(help, QStringLiteral("HelpContents1"), QStringLiteral("Help Contents..."));
    HelpOn = addAction(help, QStringLiteral("HelpOn1"), QStringLiteral("Help On..."));
    HelpOn->setShortcut(QKeySequence::HelpContents);
    help->addSeparator();
    HelpAbout = addAction(help, QStringLiteral("About1"), QStringLiteral("About..."));
    HelpEmailUs = addAction(help, QStringLiteral("EmailUs1"), QStringLiteral("Email Us..."));
    HelpContactUs = addAction(help, QStringLiteral("ContactUs1"), QStringLiteral("Contact Us..."));

    pumMain = new QMenu(window);
    pumMain->setObjectName(QStringLiteral("pumMain"));
    pumHelp = addAction(pumMain, QStringLiteral("pumHelp"), QStringLiteral("Help"));
    pumRunBackUpNow =
        addAction(pumMain, QStringLiteral("pumRunBackUpNow"), QStringLiteral("Run Back Up Now"));
    pumAddFile = addAction(pumMain, QStringLiteral("pumAddFile"), QStringLiteral("Add File"));
    pumAddFolder = addAction(pumMain, QStringLiteral("pumAddFolder"), QStringLiteral("Add Folder"));
}
