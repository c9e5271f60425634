#pragma once

#include "backupdata/FolderListing.h"
#include "core/TransferEstimate.h"
#include "sequence/FolderWalk.h"
#include "sequence/MailSequenceTransport.h"
#include "sequence/SequenceRun.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class SequenceWindow;
struct BackUpLogReadResult;
struct LocalFileStatus;
class SequenceCompletion;
struct SequenceState;
class SequenceTransport;
class SequenceWorkerThread;
class DiscWriter;
class TCDBurner;
class TTernFileObject;
class TTernBackUpFileObjectList;

// The backup sequence: reads the backup log and both selection lists, counts the
// work, walks the files list and then the folders, hands every due file to the
// edition's transport, reports each step in the status memo and ends through
// SequenceCompletion. It runs on the window's thread; the window stays responsive
// because every long step is waited for through the clock, and Cancel (which sets
// SequenceCancelled) is noticed at the next test.
class BackUpSequence
{
public:
    // The sequence runs with the state of the completion it ends through.
    BackUpSequence(SequenceWindow& window, SequenceCompletion& completion);
    ~BackUpSequence();
    BackUpSequence(const BackUpSequence&) = delete;
    BackUpSequence& operator=(const BackUpSequence&) = delete;

    // Runs one sequence to its end. While a sequence runs, a further call (from the
    // tray menu, the auto-run countdown or the shut-down trigger) returns at once; so
    // does a call while a sequence of the same edition runs in another process, after
    // saying so in the status memo.
    void RunBackUpSequence();
    bool isRunning() const { return m_running; }

    // Adjusts the mail session of every following sequence (time-outs, trusted
    // certificates).
    void setSessionSetup(MailSequenceTransport::SessionSetup setup)
    {
        m_sessionSetup = std::move(setup);
    }

    // Disc edition: the burn of the last sequence is still running; its completion
    // ends that sequence.
    bool burning() const;
    // Disc edition: the program the burner runs (tests wrap the real one).
    void setDiscWriter(std::shared_ptr<DiscWriter> writer) { m_discWriter = std::move(writer); }

    // The second line of a due file's report when it was not saved.
    static inline const QString NotBackedUpLine =
        QStringLiteral("- not backed up; it is tried again in the next sequence.");
    // Damaged log lines named one by one in the memo; the rest are counted.
    static constexpr int MaxReportedDamagedLines = 10;
    // While files are looked at, the window's events are processed after this many
    // files or this many milliseconds, whichever comes first.
    static constexpr int FilesBetweenPumps = 64;
    static constexpr int MsBetweenPumps = 20;
    // How long what the count read of a folder stands for the folder in the walk.
    static constexpr qint64 FolderListingKeptMs = FolderWalk::ListingKeptMs;

private:
    void start();
    void prepare();
    void reportDamagedLines(const QString& logFile, const BackUpLogReadResult& result);
    void buildLists(const QString& filesList, const QString& foldersList);
    void walkFilesList();
    void walkFolders();
    // nextDue gives the path of the file the walk comes to next when that file is due,
    // and an empty text otherwise; it is asked only when this file is sent.
    void processFile(const QString& path, const LocalFileStatus& before,
                     const std::function<QString()>& nextDue);
    QString dueOrEmpty(const QString& path, const LocalFileStatus& status) const;
    // The bytes and the number of the files due now in the files list and the folders,
    // into m_bytesDue and m_filesDue.
    void countDue(const QString& filesList);
    // Shows the transfer line when it changed; filePart: the part of the current file
    // sent, fileEnded: a due file's step is over.
    void showTransfer(double filePart, bool fileEnded);
    void pumpEvents();
    void finishWalks();
    void chooseEnd();
    std::unique_ptr<SequenceTransport> makeTransport();
    bool cancelled() const;
    bool goingOn() const;
    // Ends the run after a failure outside the per-file guards.
    void stopWith(const QString& reason);
    // Files and folders the run could not back up while it goes on with the rest.
    void reportNotBackedUp(const QStringList& sentences);

    SequenceWindow& m_window;
    SequenceCompletion& m_completion;
    SequenceState& m_state;
    MailSequenceTransport::SessionSetup m_sessionSetup;
    bool m_running = false;

    // Objects of one run.
    SequenceRun m_run;
    bool m_fullBackUp = false;
    std::unique_ptr<SequenceWorkerThread> m_worker;
    // A second thread for work beside the worker's: reading the log while the
    // folders are read, packing the log in advance while the files are walked.
    std::unique_ptr<SequenceWorkerThread> m_helper;
    // The folders, their count and what was read of them, with the filter.
    FolderWalk m_walk;
    std::unique_ptr<SequenceWorkerThread> m_prefetchThread;
    // Files handed to the transport in this run.
    qsizetype m_transfersStarted = 0;
    // Files looked at since events were last processed, and when that was.
    int m_filesSincePump = 0;
    qint64 m_lastPumpMs = 0;
    // The bytes of the due files, counted at the first (-1 until then), the bytes
    // of those whose transport step is over, and the line made of them.
    qint64 m_bytesDue = -1;
    qint64 m_filesDue = 0;
    qint64 m_bytesDone = 0;
    // The bytes of the due file being sent.
    qint64 m_fileBytes = 0;
    TransferEstimate m_estimate{QString()};
    std::unique_ptr<TTernFileObject> m_file;
    std::unique_ptr<TTernBackUpFileObjectList> m_log;
    std::unique_ptr<SequenceTransport> m_transport;
    // Disc edition: the burner outlives the call of the driver while it burns.
    std::unique_ptr<TCDBurner> m_burner;
    std::shared_ptr<DiscWriter> m_discWriter;
};
