#pragma once

#include "backupdata/FileState.h"

#include <QObject>
#include <QStringList>

#include <optional>

struct SequenceState;
class BackUpLogPage;
class PathTree;
class SummaryPage;
class QTreeWidgetItem;

// The "Back Up Log" page's tree and the "Backup Log" menu: loading the log into the
// tree, the size rules for loading at start-up and when the page is shown, and the
// commands New Log File, Open An Existing Log File, Log File Name and Archive Log File.
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

    // The text of a saved copy's node: "ID: 0, Back up date: ..., File size: 37 KB".
    static QString recordText(int id, const QString& backupDate, const QString& sizeText);
    static constexpr int RecordImage = 3;

private:
    BackUpLogPage* m_page;
    SummaryPage* m_summary;
    SequenceState& m_sequenceState;
    bool* m_loadLogTreeAtStart;
    PathTree* m_paths;
    // The log the tree shows in full, and its state when it was read.
    QString m_loadedPath;
    std::optional<FileState> m_loadedState;
};
