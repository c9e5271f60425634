#include "sequence/MailSequenceTransport.h"

#include "backupdata/TernFileObject.h"
#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/PlatformServices.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/CertificateTrustQuestion.h"
#include "sequence/SequenceRun.h"
#include "sequence/SequenceState.h"
#include "sequence/SequenceStatusView.h"
#include "sequence/SequenceWorkerThread.h"
#include "transport/MessageIdentity.h"
#include "transport/SmtpProblemText.h"
#include "transport/WrenSMPTObject.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <atomic>

namespace {

// A status line that grows by " 10%", " 20%" ... as a long step gets on: the step's
// thread says how far it has got, the window's thread shows it while it waits.
class ProgressLine
{
public:
    // onShow, when given, hears the part done each time the line is brought up to date.
    ProgressLine(SequenceStatusView& status, const QString& caption, bool shown,
                 std::function<void(double)> onShow = {})
        : m_status(status), m_shown(shown), m_onShow(std::move(onShow))
    {
        if (m_shown)
            m_status.addStatusLine(caption + QLatin1Char(':'));
    }
    bool shown() const { return m_shown; }
    // From any thread: the part done, 0 to 1.
    void setDone(double part)
    {
        m_partsDone.store(static_cast<int>(part * PartsOfWhole), std::memory_order_relaxed);
    }
    // From the window's thread.
    void show()
    {
        if (!m_shown)
            return;
        const int parts = qMin(m_partsDone.load(std::memory_order_relaxed), PartsOfWhole);
        const int done = parts * 10 / PartsOfWhole;
        for (; m_tenthsShown < done; ++m_tenthsShown)
            m_status.appendToLastStatusLine(QStringLiteral(" %1%").arg((m_tenthsShown + 1) * 10));
        if (m_onShow)
            m_onShow(double(parts) / PartsOfWhole);
    }

private:
    static constexpr int PartsOfWhole = 10000;
    SequenceStatusView& m_status;
    const bool m_shown;
    const std::function<void(double)> m_onShow;
    std::atomic<int> m_partsDone{0};
    int m_tenthsShown = 0;
};

// Why the file itself could not be packed, as a sentence for the user; empty when
// the file reads well, so that the fault lies with the zip folder or the disk and
// would strike every file alike.
QString unpackableSourceFault(const TTernFileObject& file)
{
    const QString& path = file.FileName();
    if (!QFileInfo::exists(path))
        return QStringLiteral("%1 was not backed up: it was deleted while it was being packed.")
            .arg(path);
    QFile source(path);
    char byte = 0;
    if (!source.open(QIODevice::ReadOnly) || (source.size() > 0 && source.read(&byte, 1) != 1))
        return QStringLiteral("%1 was not backed up: it cannot be read (%2).")
            .arg(path, source.errorString());
    const std::optional<FileState>& packed = file.PackedState();
    if (packed && packed != FileState::of(path))
        return QStringLiteral("%1 was not backed up: it changed while it was being packed.")
            .arg(path);
    return QString();
}

// Why a file's message cannot be sent, with the limit it broke: the server's, or the
// user's own largest message.
QString tooLargeText(const QString& path, qint64 messageSize, qint64 limit, bool serverLimit)
{
    QString text = QStringLiteral("The back up of %1 is too large for the SMTP server").arg(path);
    if (messageSize >= 0)
        text += QStringLiteral(": its message has %1 bytes").arg(messageSize);
    if (limit <= 0)
        text += QStringLiteral(".");
    else if (serverLimit)
        text += QStringLiteral(", the server accepts at most %1 bytes.").arg(limit);
    else
        text += QStringLiteral(", and even a part of it would be larger than the %1 bytes set "
                               "as the largest message.")
                    .arg(limit);
    return text;
}

} // namespace

MailSequenceTransport::MailSequenceTransport(SequenceStatusView& status, SequenceState& state,
                                             SequenceWorkerThread& worker,
                                             SessionSetup sessionSetup)
    : m_status(status), m_state(state), m_worker(worker), m_sessionSetup(std::move(sessionSetup))
{}

MailSequenceTransport::~MailSequenceTransport()
{
    if (m_sender)
        m_worker.runBlocking([this] { m_sender.reset(); });
}

void MailSequenceTransport::createSender()
{
    // The sending object must be made on the thread that uses its socket, but the
    // notice it may show belongs to the window's thread: it is collected while the
    // window waits without running anything, and shown afterwards.
    QStringList notices;
    m_worker.runBlocking([this, &notices] {
        m_sender = std::make_unique<TWrenSMPTObject>(
            [&notices](const QString& notice) { notices << notice; });
        if (m_sessionSetup)
            m_sessionSetup(*m_sender);
    });
    for (const QString& notice : std::as_const(notices))
        Services::prompt().notify(notice, Prompt::Icon::Information);
}

void MailSequenceTransport::open(SequenceRun& run)
{
    // The log goes last; while the files are walked it is packed as it is now, in
    // case the walk changes nothing. A full run changes it with every file.
    if (m_helper && m_state.choices.backUpType == SequenceChoices::BackUpType::Incremental &&
        !m_state.SequenceCancelled)
        m_logInAdvance.start(*m_helper, TQuayRegistryObject().ReadLogFile());
    createSender();
    m_zip.SetDLLDirectory(TQuayRegistryObject().ReadQuayDirectory());
    m_zip.LoadZipEngine();
    m_zip.LoadUnzipEngine();

    // A run cancelled before this point neither dials nor connects.
    if (!m_state.SequenceCancelled) {
        if (Services::dialUp().dial()) {
            connectSender(run);
        } else {
            Services::prompt().notify(QStringLiteral("Connection could not be established "
                                                     "automatically.  Trying alternative "
                                                     "connection method."),
                                      Prompt::Icon::Error);
            if (Services::dialUp().attemptConnect()) {
                connectSender(run);
            } else {
                Services::prompt().notify(QStringLiteral("Connection not established."),
                                          Prompt::Icon::Error);
                m_state.reportCause(
                    m_status,
                    QStringLiteral("Connection not established.  Back up sequence cancelled."));
                run.continueRun = false;
                m_state.SequenceCancelled = true;
            }
        }
    }
    Services::clock().waitPumping(0);
}

void MailSequenceTransport::connectSender(SequenceRun& run)
{
    m_worker.run([this] {
        if (m_sender->Connected())
            m_sender->Disconnect();
    });
    m_status.addStatusLine(QStringLiteral("Connecting to server..."));
    try {
        // The session connects on the worker; a question about its certificate is
        // asked here, on the window's thread.
        CertificateTrustQuestion::connect(
            [this] { m_worker.run([this] { m_sender->Connect(); }); });
    } catch (const KestrelError& error) {
        m_state.reportCause(m_status,
                            QStringLiteral("Could not establish connection with SMTP server."));
        m_state.reportCause(m_status, error.message());
        noteRefusal(QStringLiteral("The SMTP server turned the connection down; the lines above "
                                   "say why."));
        run.continueRun = false;
        m_state.SequenceCancelled = true;
    }
}

void MailSequenceTransport::noteRefusal(const QString& otherAdvice)
{
    TIdSMTP::Refusal refusal = TIdSMTP::Refusal::None;
    m_worker.run([this, &refusal] { refusal = m_sender->session().lastRefusal(); });
    switch (refusal) {
    case TIdSMTP::Refusal::None:
        break;
    case TIdSMTP::Refusal::LogIn:
        m_state.failureAdvice = logInAdvice();
        break;
    case TIdSMTP::Refusal::AppPassword:
        m_state.failureAdvice = appPasswordAdvice();
        break;
    case TIdSMTP::Refusal::AccessToken:
        m_state.failureAdvice = accessTokenAdvice();
        break;
    case TIdSMTP::Refusal::Other:
        m_state.failureAdvice = otherAdvice;
        break;
    }
}

int MailSequenceTransport::messagesAccepted()
{
    int accepted = 0;
    m_worker.run([this, &accepted] { accepted = m_sender->session().messagesAccepted(); });
    return accepted;
}

bool MailSequenceTransport::askedToSlowDown()
{
    bool asked = false;
    m_worker.run([this, &asked] { asked = m_sender->session().askedToSlowDown(); });
    return asked;
}

bool MailSequenceTransport::senderConnected()
{
    bool connected = false;
    m_worker.run([this, &connected] { connected = m_sender->Connected(); });
    return connected;
}

void MailSequenceTransport::makeArchive(TTernFileObject& file)
{
    // Packing a large file at level 9 takes minutes: its status line says how far
    // packing has got, in tenths.
    ProgressLine progress(m_status, QStringLiteral("Packing ") + file.FileName(),
                          QFileInfo(file.FileName()).size() >= ProgressReportBytes);
    if (progress.shown())
        m_zip.SetProgressHandler([&progress](double done) { progress.setDone(done); });
    const auto forgetHandler = qScopeGuard([this] { m_zip.SetProgressHandler({}); });
    SequenceWorkerThread::wait(m_worker.start([this, &file] { file.CreateZip(m_zip); }),
                               [&progress] { progress.show(); });
    // The engine's last report may fall short of the whole.
    progress.setDone(1.0);
    progress.show();
}

qint64 MailSequenceTransport::messageLimit(qint64 serverLimit)
{
    // The server's SIZE (RFC 1870) as its EHLO reply announced it, or the user's own
    // limit for servers that announce none or a larger one.
    qint64 limit = serverLimit;
    const double own = TQuayRegistryObject().ReadMaxMessageBytes();
    if (own >= 1.0 && (limit <= 0 || own < static_cast<double>(limit)))
        limit = static_cast<qint64>(own);
    return limit;
}

void MailSequenceTransport::sendArchive(const QString& path)
{
    m_sizeRefusal.clear();
    const QString archive = m_zip.ZipFileName();
    qint64 serverLimit = 0;
    m_worker.run([this, &serverLimit] { serverLimit = m_sender->session().sizeLimit(); });
    const qint64 limit = messageLimit(serverLimit);
    // Servers count the headers they add on the way against their limit, so a message
    // filled to the limit would be refused.
    const qint64 planLimit = limit > 0 ? limit - ArchivePartPlan::headroom(limit) : 0;
    qint64 messageSize = -1;
    std::optional<ArchivePartPlan> plan;
    m_worker.run([&] {
        messageSize = m_sender->ZipMessageSize(m_message, archive);
        if (planLimit > 0 && messageSize > planLimit)
            plan = m_sender->PlanZipParts(m_message, archive, planLimit);
    });
    qint64 refusedBytes = 0;
    if (planLimit > 0 && messageSize > planLimit) {
        if (!plan) {
            m_sizeRefusal = tooLargeText(path, messageSize, limit, limit == serverLimit);
            throw KestrelError(m_sizeRefusal);
        }
        refusedBytes = sendArchiveInParts(path, *plan, planLimit);
    } else {
        refusedBytes = sendWholeArchive(path, messageSize);
    }
    if (refusedBytes > 0)
        resendInSmallerParts(path, refusedBytes);
}

qint64 MailSequenceTransport::sendWholeArchive(const QString& path, qint64 messageSize)
{
    // Mailing a large archive takes minutes as well: its status line says how far the
    // message has got, in tenths.
    ProgressLine progress(m_status, QStringLiteral("Sending ") + path,
                          m_zip.ArchiveSize() >= ProgressReportBytes, m_fileSent);
    bool refused = false;
    const auto send = [this, &progress, &refused] {
        TIdSMTP& smtp = m_sender->session();
        if (progress.shown())
            smtp.setProgressHandler([&progress](qint64 written, qint64 total) {
                progress.setDone(total > 0 ? double(written) / double(total) : 1.0);
            });
        const auto forgetHandler = qScopeGuard([&smtp] { smtp.setProgressHandler({}); });
        try {
            m_sender->SendZip(m_message, m_zip);
        } catch (const KestrelError&) {
            // The server refused the message for its size after it had taken it.
            if (!smtp.Connected() || !smtp.refusedForSize())
                throw;
            refused = true;
        }
    };
    SequenceWorkerThread::wait(m_worker.start(send), [&progress] { progress.show(); });
    progress.show();
    return refused ? messageSize : 0;
}

qint64 MailSequenceTransport::sendArchiveInParts(const QString& path, const ArchivePartPlan& plan,
                                                 qint64 planLimit)
{
    const QString archive = m_zip.ZipFileName();
    // Every part of this sending carries one set identifier; a sending of the same
    // archive again is a set of its own.
    const QString setId = MessageIdentity::newSetId();
    for (int part = 1; part <= plan.count(); ++part) {
        // A cancel between parts leaves the file due; the next run sends every part
        // again, so the mailbox never needs parts from two different archives.
        if (part > 1 && m_state.SequenceCancelled) {
            throw KestrelError(QStringLiteral("Sending stopped after part %1 of %2 of %3; the "
                                              "file is sent again in full next time.")
                                   .arg(part - 1)
                                   .arg(plan.count())
                                   .arg(path));
        }
        m_status.addStatusLine(
            QStringLiteral("Sending %1: part %2 of %3").arg(path).arg(part).arg(plan.count()));
        bool refused = false;
        m_worker.run([&] {
            try {
                m_sender->SendZipPart(m_message, archive, plan, part, setId);
            } catch (const KestrelError&) {
                TIdSMTP& smtp = m_sender->session();
                if (!smtp.Connected() || !smtp.refusedForSize())
                    throw;
                refused = true;
            }
        });
        if (refused) {
            m_status.addStatusLine(QStringLiteral("The SMTP server refused part %1 of %2 of %3 "
                                                  "for its size.")
                                       .arg(part)
                                       .arg(plan.count())
                                       .arg(path));
            return planLimit;
        }
        if (m_fileSent)
            m_fileSent(double(part) / plan.count());
    }
    // As after a message of the whole archive: it is removed once the server took it.
    m_worker.run([&] { m_sender->DeleteZip(archive); });
    return 0;
}

void MailSequenceTransport::resendInSmallerParts(const QString& path, qint64 refusedBytes)
{
    // Once, with parts half the size of the message refused: a server that counts
    // more than the headroom of its own headers takes those.
    const QString archive = m_zip.ZipFileName();
    const qint64 limit = ArchivePartPlan::retryLimit(refusedBytes);
    std::optional<ArchivePartPlan> plan;
    m_worker.run([&] { plan = m_sender->PlanZipParts(m_message, archive, limit); });
    if (!plan) {
        m_sizeRefusal = QStringLiteral("The back up of %1 is too large for the SMTP server: it "
                                       "refused a message of %2 bytes, and smaller parts "
                                       "cannot be made.")
                            .arg(path)
                            .arg(refusedBytes);
        throw KestrelError(m_sizeRefusal);
    }
    m_status.addStatusLine(
        QStringLiteral("Sending %1 again in %2 smaller parts.").arg(path).arg(plan->count()));
    if (sendArchiveInParts(path, *plan, limit) > 0) {
        m_sizeRefusal = QStringLiteral("The back up of %1 is too large for the SMTP server: it "
                                       "refused even parts of at most %2 bytes.  A smaller "
                                       "\"Largest Message (MB)\" setting may help.")
                            .arg(path)
                            .arg(limit);
        throw KestrelError(m_sizeRefusal);
    }
}

bool MailSequenceTransport::transfer(TTernFileObject& file, SequenceRun& run)
{
    m_fileSent = run.fileSent;
    if (!senderConnected()) {
        // Servers close a session that waited too long (a large file being packed) or
        // sent its share of messages. One new session, with a fresh log-in (and a fresh
        // access token), goes on with this file; only when that fails is the run over.
        m_status.addStatusLine(
            QStringLiteral("The SMTP server closed the connection; connecting again..."));
        connectSender(run);
        if (!run.continueRun)
            return false;
        if (!senderConnected()) {
            m_state.reportCause(m_status, QStringLiteral("Connection with SMTP server lost."));
            run.continueRun = false;
            return false;
        }
    }

    const auto fail = [this, &run, &file](const QString& line, const QString& reason) {
        m_state.reportCause(m_status, line);
        // The reason names the file it concerns, as the memo keeps it to the end.
        if (!reason.isEmpty())
            m_state.reportCause(m_status, reason.contains(file.FileName())
                                              ? reason
                                              : file.FileName() + QStringLiteral(": ") + reason);
        run.continueRun = false;
    };
    // A fault of this one file: the file stays due and the run goes on with the next,
    // so one bad file cannot keep every later file from being backed up.
    const auto skip = [this, &run](const QString& line, const QString& sentence) {
        m_status.addStatusLine(line);
        run.reportNotBackedUp(m_status, sentence);
    };

    bool noteReady = false;
    try {
        file.PrepareSaveNote(m_message);
        noteReady = true;
    } catch (const KestrelError& error) {
        fail(QStringLiteral("Could not create back up message."), error.message());
    }
    bool archiveReady = false;
    bool skipped = false;
    try {
        if (!m_nextInAdvance.adopt(file, m_zip))
            makeArchive(file);
        archiveReady = true;
    } catch (const KestrelError& error) {
        const QString sourceFault = unpackableSourceFault(file);
        if (sourceFault.isEmpty()) {
            fail(QStringLiteral("Could not create back up zip file."), error.message());
        } else {
            skip(QStringLiteral("Could not create back up zip file."), sourceFault);
            skipped = true;
        }
    }
    // The next due file is packed on the helper thread while this one is mailed; a
    // large one is packed at its turn, where its progress is shown.
    if (m_helper && !m_expectedNext.isEmpty() && archiveReady &&
        QFileInfo(m_expectedNext).size() < ProgressReportBytes)
        m_nextInAdvance.start(*m_helper, m_expectedNext);
    m_expectedNext.clear();
    // Without this file's note and archive a send would carry the previous file's
    // subject or an archive left over from an earlier run.
    bool accepted = false;
    if (noteReady && archiveReady) {
        const int acceptedBefore = messagesAccepted();
        // Parts the server took before a failure count as well.
        const auto countMessages =
            qScopeGuard([&] { run.messagesSent += messagesAccepted() - acceptedBefore; });
        try {
            sendArchive(file.FileName());
            accepted = true;
            try {
                file.AppendToLog();
            } catch (const KestrelError& error) {
                fail(QStringLiteral("Could not save to log file."), error.message());
            }
        } catch (const KestrelError& error) {
            if (askedToSlowDown()) {
                // The file stays due; the next run, later, sends it.
                fail(QStringLiteral("The server asks to slow down."), error.message());
            } else if (m_sizeRefusal.isEmpty()) {
                fail(QStringLiteral("Could not send back up file."), error.message());
                noteRefusal(
                    QStringLiteral("The SMTP server refused a message; the lines above say why."));
            } else {
                // The session is still good for the files that fit; this archive is
                // made anew when the file is tried again.
                skip(QStringLiteral("Could not send back up file."), m_sizeRefusal);
                QFile::remove(m_zip.ZipFileName());
            }
        }
    } else if (!skipped) {
        fail(QStringLiteral("Could not send back up file."), QString());
    }

    // Only what the server accepted counts, each archive once.
    if (accepted) {
        run.bytesThisSequence += static_cast<double>(m_zip.ArchiveSize());
        ++run.filesSent;
        const TQuayRegistryObject store;
        store.WriteNumberOfFilesInLastSequence(store.ReadNumberOfFilesInLastSequence() + 1);
    }
    if (run.maxMessages > 0 && run.messagesSent >= run.maxMessages && run.continueRun) {
        m_status.addStatusLine(QString());
        m_status.addStatusLine(
            QStringLiteral("%1 messages were sent, the most allowed in one sequence.  The files "
                           "still due are backed up by the next sequence.")
                .arg(run.messagesSent));
        run.messageLimitReached = true;
        run.maxReached = true;
    }
    if (run.bytesThisSequence > run.maxBytes) {
        m_status.addStatusLine(QString());
        m_status.addStatusLine(QStringLiteral(
            "Number of bytes emailed has reached the maximum number of bytes allowed to be "
            "emailed in one sequence.  The back up sequence has been terminated."));
        run.continueRun = false;
        run.maxReached = true;
    }
    Services::clock().waitPumping(PauseAfterFileMs);
    return true;
}

void MailSequenceTransport::finishWalks(TTernFileObject& file, SequenceRun& /*run*/)
{
    file.SetFileName(TQuayRegistryObject().ReadLogFile());
    if (!file.Exists() || m_state.SequenceCancelled)
        return;
    file.PrepareSaveNote(m_message);
    if (!m_logInAdvance.adopt(file, m_zip))
        makeArchive(file);
    try {
        sendArchive(file.FileName());
    } catch (const KestrelError&) {
        if (m_sizeRefusal.isEmpty())
            throw;
        throw KestrelError(m_sizeRefusal);
    }
    file.RememberLastLog();
}

void MailSequenceTransport::releaseSender()
{
    if (!m_sender)
        return;
    // The server hears "Quit" after the last message instead of a dropped line.
    m_worker.run([this] {
        if (m_sender->Connected())
            m_sender->Disconnect();
        m_sender.reset();
    });
}

void MailSequenceTransport::close(SequenceRun& run)
{
    m_nextInAdvance.discard();
    m_logInAdvance.discard();
    releaseSender();
    m_zip.UnloadZipEngine();
    m_zip.UnloadUnzipEngine();
    Services::clock().waitPumping(0);
    const TQuayRegistryObject store;
    store.WriteNumberOfBytesBackedUp(store.ReadNumberOfBytesBackedUp() + run.bytesThisSequence);
}
