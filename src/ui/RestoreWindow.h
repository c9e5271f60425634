#pragma once

#include "core/TransferEstimate.h"
#include "restore/MailboxSource.h"
#include "restore/RestoreProgress.h"
#include "restore/RestoreSelection.h"
#include "restore/SavedFiles.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>

class MailboxSession;
class PathTree;
class SequenceWorkerThread;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Restore From Mailbox...": lists the save notes the mailbox holds as a tree of
// paths with each file's versions below it, filters it by name, and restores the
// selected files, folders or versions into a target folder. The mailbox is read on a
// worker thread while the window keeps processing its events; it is shown
// non-modally, so nothing blocks while it works.
class RestoreWindow : public QDialog, private RestoreProgress
{
    Q_OBJECT

public:
    // factory empty: the IMAP reader of the stored settings. cacheFolder empty: the
    // edition's cache folder.
    explicit RestoreWindow(MailboxSourceFactory factory = {}, QWidget* parent = nullptr,
                           const QString& cacheFolder = QString());
    ~RestoreWindow() override;

    // Opens on a path of the log tree: the search shows it and, once listed, its node
    // is selected.
    void preselect(const QString& path);
    // Lists the mailbox (again). Showing the window lists it the first time.
    void listMailbox();
    // Restores what is selected: a file or folder restores the latest version of each
    // file, a version row that version.
    void restoreSelected();
    bool busy() const { return m_busy; }
    bool listed() const;

    // The path of a row's file or folder (a version row: of its file).
    QString rowPath(const QTreeWidgetItem* item) const;

    QLineEdit* edbSearch;
    QTreeWidget* trvSaved;
    QLabel* lblListing;
    QLineEdit* edbTargetFolder;
    QPushButton* btnBrowse;
    QProgressBar* prbRestore;
    // While files are restored: the bytes downloaded and about how long the rest takes.
    QLabel* lblTransfer;
    QLabel* lblStatus;
    QPushButton* btnRestore;
    QPushButton* btnCancel;

    // The text of a version row: "Saved: 09/12/2026 13:45:25, Archive size: 37 KB".
    static QString versionText(const SavedVersion& version);

    static constexpr int HelpTopic = 700;

Q_SIGNALS:
    // A listing or restore has ended, well or not.
    void workFinished();
    // F1: the window's help topic is asked for.
    void helpRequested(int context);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void status(const QString& text) override;
    void progress(qint64 done, qint64 total) override;
    // Asked from the worker thread as well.
    bool cancelRequested() override { return m_cancelRequested; }

    void showReports();
    void showFiles();
    void selectPreselected();
    void browseTarget();
    void cancelOrClose();
    void beginWork();
    void endWork();
    void collectPicks(const QTreeWidgetItem* item, bool wholeNode, QList<RestorePick>& picks,
                      QSet<const QTreeWidgetItem*>& seen) const;

    std::unique_ptr<SequenceWorkerThread> m_worker;
    std::unique_ptr<MailboxSession> m_session;
    PathTree* m_paths;
    // The files the tree shows, and the file each file node stands for.
    QList<SavedFile> m_shown;
    QHash<const QTreeWidgetItem*, qsizetype> m_fileOfNode;
    // The catalog refresh the tree shows.
    int m_shownGeneration = -1;
    QString m_preselected;
    bool m_listingStarted = false;
    bool m_busy = false;
    // The work running is a restore, whose progress counts bytes.
    bool m_restoring = false;
    TransferEstimate m_estimate{QString()};
    std::atomic<bool> m_cancelRequested = false;
    bool m_closeWhenDone = false;
    // The latest status and progress reported, from either thread.
    QMutex m_reportMutex;
    QString m_reportedStatus;
    qint64 m_reportedDone = 0;
    qint64 m_reportedTotal = 0;
};
