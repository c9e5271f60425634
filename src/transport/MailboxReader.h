#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class QIODevice;

// What the mailbox tells of one message without downloading it: enough to list a
// save note and to fetch its archive.
struct MailboxNote
{
    quint32 uid = 0;
    // The Subject header, decoded (RFC 2047) to text.
    QString subject;
    // The Date header: when the note was sent. Invalid when the header is missing or
    // unreadable; the server's arrival date stands in then.
    QDateTime date;
    // The set the note was sent in: 32 lower-case hex digits shared by every part of
    // one sending of an archive; empty for a note written before sets were marked.
    QString setId;
    // The size of the whole message in the mailbox.
    qint64 messageSize = 0;
    // The attachment: its file name, its body section for a fetch ("2", "1.2", or
    // "1" for a message that is nothing but the attachment), its transfer encoding
    // (lower case: "base64", "7bit", ...) and its encoded size. An empty section: the
    // message carries no attachment.
    QString attachmentName;
    QByteArray attachmentSection;
    QByteArray attachmentEncoding;
    qint64 attachmentEncodedSize = 0;
};

// Read access to the mailbox that holds the save notes. A reader is made, used and
// destroyed on one thread; open makes the connection on the thread that calls it.
// Every call throws KestrelError with a message fit for the user (never a password)
// when the server refuses, the connection drops or a reply is malformed or late.
class MailboxReader
{
public:
    struct MailboxState
    {
        quint32 uidValidity = 0;
        quint32 uidNext = 0;
        quint32 messages = 0;
    };

    virtual ~MailboxReader() = default;

    // Connects, logs in and opens the mailbox read-only.
    virtual MailboxState open() = 0;
    // The UIDs above aboveUid of the messages whose subject contains the text,
    // ascending.
    virtual QList<quint32> findSubjects(const QString& text, quint32 aboveUid = 0) = 0;
    // The UIDs of every message in the mailbox, ascending: far cheaper for the server
    // than a search of the subjects.
    virtual QList<quint32> allUids() = 0;
    // The notes of these UIDs, in the order given; a UID the mailbox no longer holds
    // is left out.
    virtual QList<MailboxNote> readNotes(const QList<quint32>& uids) = 0;
    // Writes the note's attachment, decoded, to the device as it arrives, never
    // holding the whole of it in memory; progress is called with the decoded bytes so
    // far and may return false to stop (KestrelError "cancelled"). Throws, having
    // written part of it, when the transfer fails.
    using Progress = std::function<bool(qint64 decodedBytes)>;
    virtual void fetchAttachment(const MailboxNote& note, QIODevice& decoded,
                                 const Progress& progress = {}) = 0;
    // A hint that the attachments of these notes are asked for next, in this order: a
    // reader may fetch the small ones ahead, several in one exchange with the server,
    // and hand them to fetchAttachment from memory. Never throws: what it could not
    // fetch ahead is fetched as usual when asked for.
    virtual void expectAttachments(const QList<MailboxNote>& notes) { Q_UNUSED(notes); }
    // At most the last maxBytes bytes of the decoded attachment, fetched on their own
    // (for the archive's central directory without downloading the archive).
    virtual QByteArray fetchAttachmentTail(const MailboxNote& note, qint64 maxBytes) = 0;
    // At most the first maxBytes bytes of the decoded attachment (the archive's local
    // header, with what it takes to check the password).
    virtual QByteArray fetchAttachmentHead(const MailboxNote& note, qint64 maxBytes) = 0;
    // Logs out and closes; harmless when not open.
    virtual void close() = 0;
    // Whether the connection is still open: a transfer that broke off (the server
    // dropped it, a reply came late or malformed, or the attachment could not be
    // written) closes it, and open makes it again.
    virtual bool isOpen() { return true; }
};
