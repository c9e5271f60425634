#include "support/FakeMailboxReader.h"

#include "backupdata/MachineNumber.h"
#include "core/KestrelError.h"
#include "transport/ArchivePartPlan.h"

#include <QIODevice>
#include <QtEndian>

#include <zip.h>

namespace {

// The size of the attachment as base64 in lines of 76 characters and CR LF.
qint64 base64Size(qint64 bytes)
{
    const qint64 characters = (bytes + 2) / 3 * 4;
    return characters + (characters + 75) / 76 * 2;
}

// Reads the whole of an archive written into a buffer source.
QByteArray sourceBytes(zip_source_t* source)
{
    QByteArray bytes;
    if (zip_source_open(source) < 0)
        return bytes;
    char chunk[65536];
    zip_int64_t got = 0;
    while ((got = zip_source_read(source, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, static_cast<qsizetype>(got));
    zip_source_close(source);
    return bytes;
}

struct Entry
{
    QString name;
    QByteArray content;
    bool symlink = false;
    QDateTime modified;
};

QByteArray buildArchive(const QList<Entry>& entries, const QString& password)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(buffer);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    // Each entry's bytes stay alive until zip_close has read them.
    QList<QByteArray> contents;
    for (const Entry& entry : entries) {
        contents.append(entry.content);
        zip_source_t* data = zip_source_buffer(archive, contents.back().constData(),
                                               static_cast<zip_uint64_t>(entry.content.size()), 0);
        const auto index = static_cast<zip_uint64_t>(
            zip_file_add(archive, entry.name.toUtf8().constData(), data, ZIP_FL_ENC_UTF_8));
        zip_set_file_compression(archive, index, ZIP_CM_DEFLATE, 9);
        if (!password.isEmpty())
            zip_file_set_encryption(archive, index, ZIP_EM_AES_256, password.toUtf8().constData());
        if (entry.modified.isValid())
            zip_file_set_mtime(archive, index,
                               static_cast<time_t>(entry.modified.toSecsSinceEpoch()), 0);
        if (entry.symlink)
            zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, (0120777u) << 16);
    }
    zip_close(archive);
    const QByteArray bytes = sourceBytes(buffer);
    zip_source_free(buffer);
    return bytes;
}

} // namespace

quint32 FakeMailboxReader::addNote(const QString& subject, const QDateTime& date,
                                   const QByteArray& attachment, const QString& attachmentName)
{
    Stored stored;
    stored.note.uid = m_nextUid++;
    stored.note.subject = subject;
    stored.note.date = date;
    stored.note.attachmentName = attachmentName;
    if (!attachmentName.isEmpty()) {
        stored.note.attachmentSection = "2";
        stored.note.attachmentEncoding = "base64";
        stored.note.attachmentEncodedSize = base64Size(attachment.size());
    }
    stored.note.messageSize = stored.note.attachmentEncodedSize + 800;
    stored.attachment = attachment;
    m_notes.insert(stored.note.uid, stored);
    return stored.note.uid;
}

QList<quint32> FakeMailboxReader::addSaveNote(const QString& path, const QDateTime& date,
                                              const QByteArray& archive, int parts,
                                              const QString& setId)
{
    QList<quint32> uids;
    for (int part = 1; part <= qMax(1, parts); ++part)
        uids.append(addSavePart(path, date, archive, part, qMax(1, parts), setId));
    return uids;
}

quint32 FakeMailboxReader::addSavePart(const QString& path, const QDateTime& date,
                                       const QByteArray& archive, int part, int count,
                                       const QString& setId)
{
    QString subject =
        QStringLiteral("KestrelSolo Save#") + machineNumberText() + QLatin1Char('#') + path;
    QString name = path.section(QLatin1Char('/'), -1) + QStringLiteral(".zip");
    QByteArray bytes = archive;
    if (count > 1) {
        const qsizetype slice = (archive.size() + count - 1) / count;
        bytes = archive.mid((part - 1) * slice, slice);
        subject += ArchivePartPlan::subjectSuffix(part, count);
        name = ArchivePartPlan::partName(name, part, count);
    }
    const quint32 uid = addNote(subject, date.addSecs(part - 1), bytes, name);
    m_notes[uid].note.setId = setId;
    return uid;
}

void FakeMailboxReader::removeNote(quint32 uid)
{
    m_notes.remove(uid);
}

MailboxReader::MailboxState FakeMailboxReader::open()
{
    m_open = true;
    ++m_opens;
    return {m_uidValidity, m_nextUid, static_cast<quint32>(m_notes.size())};
}

QList<quint32> FakeMailboxReader::findSubjects(const QString& text, quint32 aboveUid)
{
    if (!m_open)
        throw KestrelError(QStringLiteral("The mailbox is not open."));
    QList<quint32> uids;
    for (const Stored& stored : std::as_const(m_notes)) {
        if (stored.note.uid > aboveUid && stored.note.subject.contains(text, Qt::CaseInsensitive))
            uids.append(stored.note.uid);
    }
    return uids;
}

QList<quint32> FakeMailboxReader::allUids()
{
    if (!m_open)
        throw KestrelError(QStringLiteral("The mailbox is not open."));
    QList<quint32> uids;
    for (const Stored& stored : std::as_const(m_notes))
        uids.append(stored.note.uid);
    return uids;
}

QList<MailboxNote> FakeMailboxReader::readNotes(const QList<quint32>& uids)
{
    if (!m_open)
        throw KestrelError(QStringLiteral("The mailbox is not open."));
    QList<MailboxNote> notes;
    for (quint32 uid : uids) {
        const auto found = m_notes.constFind(uid);
        if (found != m_notes.cend())
            notes.append(found->note);
    }
    m_notesRead += static_cast<int>(notes.size());
    return notes;
}

void FakeMailboxReader::fetchAttachment(const MailboxNote& note, QIODevice& decoded,
                                        const Progress& progress)
{
    ++m_fetches;
    if (onFetch)
        onFetch();
    const auto found = m_notes.constFind(note.uid);
    if (!m_open || found == m_notes.cend())
        throw KestrelError(QStringLiteral("The message is no longer in the mailbox."));
    const QByteArray& bytes = found->attachment;
    const auto failing = m_failAfter.find(note.uid);
    const bool fails = failing != m_failAfter.end();
    const qint64 end = fails ? qMin<qint64>(failing->first, bytes.size()) : bytes.size();
    if (fails && --failing->second <= 0)
        m_failAfter.erase(failing);
    constexpr qint64 Chunk = 16384;
    for (qint64 at = 0; at < end; at += Chunk) {
        const qint64 length = qMin(Chunk, end - at);
        // As the real reader: a write that fails ends the transfer and the connection.
        if (decoded.write(bytes.constData() + at, length) != length) {
            m_open = false;
            throw KestrelError(QStringLiteral("The attachment could not be written: %1")
                                   .arg(decoded.errorString()));
        }
        if (progress && !progress(at + length)) {
            m_open = false;
            throw KestrelError(QStringLiteral("cancelled"));
        }
    }
    if (fails) {
        m_open = false;
        throw KestrelError(QStringLiteral("The connection to the mail server was lost."));
    }
}

QByteArray FakeMailboxReader::fetchAttachmentTail(const MailboxNote& note, qint64 maxBytes)
{
    const auto found = m_notes.constFind(note.uid);
    if (!m_open || found == m_notes.cend())
        throw KestrelError(QStringLiteral("The message is no longer in the mailbox."));
    return found->attachment.right(maxBytes);
}

QByteArray FakeMailboxReader::fetchAttachmentHead(const MailboxNote& note, qint64 maxBytes)
{
    const auto found = m_notes.constFind(note.uid);
    if (!m_open || found == m_notes.cend())
        throw KestrelError(QStringLiteral("The message is no longer in the mailbox."));
    return found->attachment.left(maxBytes);
}

QByteArray FakeMailboxReader::archive(const QString& entryName, const QByteArray& content,
                                      const QString& password, const QDateTime& modified)
{
    return buildArchive({{entryName, content, false, modified}}, password);
}

QByteArray FakeMailboxReader::twoEntryArchive(const QString& password)
{
    return buildArchive({{QStringLiteral("one.txt"), "one", false, {}},
                         {QStringLiteral("two.txt"), "two", false, {}}},
                        password);
}

QByteArray FakeMailboxReader::symlinkArchive(const QString& entryName, const QByteArray& target)
{
    return buildArchive({{entryName, target, true, {}}}, QString());
}

QByteArray FakeMailboxReader::withDeclaredSize(QByteArray archive, quint32 declaredSize)
{
    // The local header keeps the size at offset 22, the central header at 24.
    const auto patch = [&](const QByteArray& signature, qsizetype fieldAt) {
        for (qsizetype at = archive.indexOf(signature); at >= 0;
             at = archive.indexOf(signature, at + 4))
            qToLittleEndian(declaredSize, archive.data() + at + fieldAt);
    };
    patch(QByteArray("PK\x03\x04", 4), 22);
    patch(QByteArray("PK\x01\x02", 4), 24);
    return archive;
}
