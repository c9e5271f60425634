#pragma once

#include "transport/MailboxReader.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>

// A mailbox in memory for the catalog, restore and log tests: notes with real
// archives, a UIDVALIDITY that can change, notes that can be removed, and fetches
// that fail midway. It counts what it was asked, so a test can see that a second
// listing read only the new notes.
class FakeMailboxReader : public MailboxReader
{
public:
    // Adds a message; its UID is the next one. The attachment is held decoded; the
    // note reports its base64 size, as a server does. No attachment name: a message
    // without an attachment.
    quint32 addNote(const QString& subject, const QDateTime& date, const QByteArray& attachment,
                    const QString& attachmentName = QStringLiteral("a.zip"));
    // A save note of this machine for path, its archive cut into parts byte slices
    // mailed as the program mails them; the UIDs of the notes, in part order.
    // With a set id, every note carries it, as the program marks one sending.
    QList<quint32> addSaveNote(const QString& path, const QDateTime& date,
                               const QByteArray& archive, int parts = 1,
                               const QString& setId = QString());
    // One part of a save note for path (its bytes the part's slice of the archive),
    // sent date plus part - 1 seconds, as addSaveNote mails each; for parts that
    // arrive out of order, twice or not at all.
    quint32 addSavePart(const QString& path, const QDateTime& date, const QByteArray& archive,
                        int part, int count, const QString& setId = QString());
    void removeNote(quint32 uid);
    void setUidValidity(quint32 value) { m_uidValidity = value; }
    // The next fetches (times of them) of this note write that many bytes and then
    // fail as a dropped connection does, closing the reader.
    void failFetchAfter(quint32 uid, qint64 bytes, int times = 1)
    {
        m_failAfter.insert(uid, {bytes, times});
    }

    // Runs as each fetch of an attachment starts, for example to let time pass.
    std::function<void()> onFetch;

    MailboxState open() override;
    QList<quint32> findSubjects(const QString& text, quint32 aboveUid = 0) override;
    QList<quint32> allUids() override;
    QList<MailboxNote> readNotes(const QList<quint32>& uids) override;
    void fetchAttachment(const MailboxNote& note, QIODevice& decoded,
                         const Progress& progress = {}) override;
    QByteArray fetchAttachmentTail(const MailboxNote& note, qint64 maxBytes) override;
    QByteArray fetchAttachmentHead(const MailboxNote& note, qint64 maxBytes) override;
    void close() override { m_open = false; }
    bool isOpen() override { return m_open; }

    // What was asked of it: UIDs whose headers readNotes returned, fetches, and
    // openings.
    int notesRead() const { return m_notesRead; }
    int fetches() const { return m_fetches; }
    int opens() const { return m_opens; }
    void resetCounts() { m_notesRead = m_fetches = m_opens = 0; }

    // Archives as the zip component writes them: one entry, AES-256 when a password
    // is given. Times are kept to the zip's two seconds.
    static QByteArray archive(const QString& entryName, const QByteArray& content,
                              const QString& password = QString(),
                              const QDateTime& modified = QDateTime());
    // Hostile ones: two entries; an entry that is a symbolic link; and content whose
    // declared size is replaced, in both headers, by declaredSize.
    static QByteArray twoEntryArchive(const QString& password = QString());
    static QByteArray symlinkArchive(const QString& entryName, const QByteArray& target);
    static QByteArray withDeclaredSize(QByteArray archive, quint32 declaredSize);

private:
    struct Stored
    {
        MailboxNote note;
        QByteArray attachment;
    };

    QMap<quint32, Stored> m_notes;
    QMap<quint32, QPair<qint64, int>> m_failAfter;
    quint32 m_uidValidity = 1;
    quint32 m_nextUid = 1;
    bool m_open = false;
    int m_notesRead = 0;
    int m_fetches = 0;
    int m_opens = 0;
};
