#pragma once

#include "backupdata/FileState.h"
#include "restore/MailboxSource.h"

#include <QObject>
#include <QStringList>

#include <optional>

struct SequenceState;
class BackUpLogPage;
class PathTree;
class SummaryPage;
class QAction;
class QMenu;
class QTreeWidgetItem;

// The "Back Up Log" page's tree and the "Backup Log" menu: loading the log into the
// tree, the size rules for loading at start-up and when the page is shown, and the
// commands New Log File, Open An Existing Log File, Log File Name, Archive Log File
// and Rebuild Log From Mailbox, and the tree's context menu.
class BackUpLogView : public QObject
{
    Q_OBJECT

public:
    // The flags are the main window's: Cancel stops a load, and whether the log may be
    // loaded is decided at start-up and again when the page is shown.
    BackUpLogView(BackUpLogPage* page, SummaryPage* summary, SequenceState& sequenceState,
                  bool* loadLogTreeAtStart, QObject* parent = nullptr);

    void setIconKeyList(const QStringList& keys);

    // Fills the tree from a log: one file node per path, one child per saved copy.
    // Pumps window events as it goes; SequenceCancelled stops it (the tree keeps what
    // was read). Lines that do not read are reported once, at the end.
    void LoadLogIntoTree(const QString& logPath);
    // LoadLogIntoTree, unless the tree already shows this log as it is now (a
    // sequence that backed nothing up leaves the log as it was).
    void RefreshLogTree(const QString& logPath);
    // Start-up: ask before loading a log larger than 100,000 bytes.
    void loadAtStartUp(const QString& logPath);
    // The page was shown: load an unloaded log, asking first above 300,000 bytes.
    void pageShown();

    void newLogFile();
    void openExistingLogFile();
    void showLogFileName();
    void archiveLogFile();
    // Asks, then lists the mailbox's save notes, writes a log from them (the current
    // one archived first), reloads the tree and says how many records it wrote and
    // where the old log went.
    void rebuildLogFromMailbox();
    // The mailbox the rebuild reads; empty: the IMAP reader of the stored settings.
    void setMailboxSource(MailboxSourceFactory factory) { m_mailboxSource = std::move(factory); }

    // The path a context menu on the node restores: a file or folder node's own, a
    // saved copy's file's.
    static QString restorePathOf(const QTreeWidgetItem* node);

    // The log tree's context menu (KestrelSolo only).
    QMenu* pumLogTree;
    QAction* pumRestoreFromMailbox;

    // The text of a saved copy's node: "ID: 0, Back up date: ..., File size: 37 KB".
    static QString recordText(int id, const QString& backupDate, const QString& sizeText);
    static constexpr int RecordImage = 3;

Q_SIGNALS:
    // "Restore From Mailbox..." on a node of the tree.
    void restoreFromMailboxRequested(const QString& path);

private:
    BackUpLogPage* m_page;
    SummaryPage* m_summary;
    SequenceState& m_sequenceState;
    bool* m_loadLogTreeAtStart;
    PathTree* m_paths;
    // The log the tree shows in full, and its state when it was read.
    QString m_loadedPath;
    std::optional<FileState> m_loadedState;
    MailboxSourceFactory m_mailboxSource;
};
