#pragma once

#include "sequence/ArchiveInAdvance.h"
#include "sequence/SequenceTransport.h"
#include "transport/ArchivePartPlan.h"
#include "transport/IdMessage.h"
#include "transport/ZipMaster.h"

#include <QString>

#include <functional>
#include <memory>

class SequenceStatusView;
struct SequenceState;
class SequenceWorkerThread;
class TWrenSMPTObject;

// The mail branch of the sequence (KestrelSolo, KestrelClient): every due file is
// packed into its own archive and mailed as a save note; at the end the backup log
// itself is mailed. Zipping and every exchange with the server run on the
// sequence's worker thread, which owns the sending object from its creation to its
// destruction.
class MailSequenceTransport : public SequenceTransport
{
public:
    // Runs on the worker thread right after the sending object is made, to adjust
    // its session (time-outs, trusted certificates).
    using SessionSetup = std::function<void(TWrenSMPTObject&)>;

    MailSequenceTransport(SequenceStatusView& status, SequenceState& state,
                          SequenceWorkerThread& worker, SessionSetup sessionSetup = {});
    ~MailSequenceTransport() override;
    MailSequenceTransport(const MailSequenceTransport&) = delete;
    MailSequenceTransport& operator=(const MailSequenceTransport&) = delete;

    // A second thread on which an incremental run packs the log in advance.
    void setHelper(SequenceWorkerThread* helper) { m_helper = helper; }

    void open(SequenceRun& run) override;
    bool transfer(TTernFileObject& file, SequenceRun& run) override;
    void expectNext(const QString& path) override { m_expectedNext = path; }
    void finishWalks(TTernFileObject& file, SequenceRun& run) override;
    void close(SequenceRun& run) override;

    // The pause after every mailed file.
    static constexpr int PauseAfterFileMs = 2000;
    // Files from this size on have their packing progress shown.
    static constexpr qint64 ProgressReportBytes = 8 * 1024 * 1024;

private:
    void createSender();
    void connectSender(SequenceRun& run);
    int messagesAccepted();
    bool askedToSlowDown();
    bool senderConnected();
    // After a failure: when the server refused what was asked of it, the sequence's
    // end says what to do about it instead of asking to check the connection;
    // otherAdvice for a refusal that is not about the log-in.
    void noteRefusal(const QString& otherAdvice);
    void makeArchive(TTernFileObject& file);
    // Sends the archive just made, in parts when its message is larger than the
    // server takes, and once more in smaller parts when the server refuses it for its
    // size; on failure says why and throws again.
    void sendArchive(const QString& path);
    // These return 0 when the server took everything, or the size of the largest
    // message the server refused for its size (the archive then stays).
    qint64 sendWholeArchive(const QString& path, qint64 messageSize);
    qint64 sendArchiveInParts(const QString& path, const ArchivePartPlan& plan, qint64 planLimit);
    void resendInSmallerParts(const QString& path, qint64 refusedBytes);
    // The largest message the server takes; 0 when there is no limit.
    static qint64 messageLimit(qint64 serverLimit);
    void releaseSender();

    SequenceStatusView& m_status;
    SequenceState& m_state;
    SequenceWorkerThread& m_worker;
    SessionSetup m_sessionSetup;
    std::unique_ptr<TWrenSMPTObject> m_sender;
    SequenceWorkerThread* m_helper = nullptr;
    TZipMaster m_zip;
    // The log, packed while the files are walked; the next due file, packed while
    // the current one is mailed.
    ArchiveInAdvance m_logInAdvance{QStringLiteral("log")};
    ArchiveInAdvance m_nextInAdvance{QStringLiteral("next")};
    QString m_expectedNext;
    TIdMessage m_message;
    // Why the last send failed when the message, or a part's, was too large for the
    // server.
    QString m_sizeRefusal;
    // The run's listener for the part of the current file sent.
    std::function<void(double)> m_fileSent;
};
