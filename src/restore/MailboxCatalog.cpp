#include "restore/MailboxCatalog.h"

#include "backupdata/MachineNumber.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"
#include "restore/RestoreProgress.h"
#include "restore/SaveNoteSubject.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

namespace {

// Headers are asked for in batches, so a listing can be cancelled and shows progress.
constexpr qsizetype NotesPerRequest = 500;
// 2: notes carry their set id; a cache of an older format is read again.
constexpr int CacheFormat = 2;

struct CachedMailbox
{
    quint32 uidValidity = 0;
    // The highest UID whose headers were read: every UID up to it was seen.
    quint32 lastUid = 0;
    QList<MailboxNote> notes;
};

QJsonObject noteToJson(const MailboxNote& note)
{
    return {{QStringLiteral("uid"), static_cast<qint64>(note.uid)},
            {QStringLiteral("subject"), note.subject},
            {QStringLiteral("date"), note.date.toMSecsSinceEpoch()},
            {QStringLiteral("dateValid"), note.date.isValid()},
            {QStringLiteral("set"), note.setId},
            {QStringLiteral("size"), note.messageSize},
            {QStringLiteral("name"), note.attachmentName},
            {QStringLiteral("section"), QString::fromLatin1(note.attachmentSection)},
            {QStringLiteral("encoding"), QString::fromLatin1(note.attachmentEncoding)},
            {QStringLiteral("encodedSize"), note.attachmentEncodedSize}};
}

MailboxNote noteFromJson(const QJsonObject& object)
{
    MailboxNote note;
    note.uid = static_cast<quint32>(object.value(QStringLiteral("uid")).toInteger());
    note.subject = object.value(QStringLiteral("subject")).toString();
    if (object.value(QStringLiteral("dateValid")).toBool())
        note.date =
            QDateTime::fromMSecsSinceEpoch(object.value(QStringLiteral("date")).toInteger());
    note.setId = object.value(QStringLiteral("set")).toString();
    note.messageSize = object.value(QStringLiteral("size")).toInteger();
    note.attachmentName = object.value(QStringLiteral("name")).toString();
    note.attachmentSection = object.value(QStringLiteral("section")).toString().toLatin1();
    note.attachmentEncoding = object.value(QStringLiteral("encoding")).toString().toLatin1();
    note.attachmentEncodedSize = object.value(QStringLiteral("encodedSize")).toInteger();
    return note;
}

QString cachePath(const QString& folder, const QString& mailboxKey)
{
    const QByteArray hash =
        QCryptographicHash::hash(mailboxKey.toUtf8(), QCryptographicHash::Sha256).toHex();
    return folder + QLatin1Char('/') + QString::fromLatin1(hash.left(32)) + QStringLiteral(".json");
}

// A cache that cannot be read, or was written by another format, is no cache.
CachedMailbox readCache(const QString& path)
{
    CachedMailbox cached;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cached;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value(QStringLiteral("format")).toInt() != CacheFormat)
        return cached;
    cached.uidValidity =
        static_cast<quint32>(root.value(QStringLiteral("uidValidity")).toInteger());
    cached.lastUid = static_cast<quint32>(root.value(QStringLiteral("lastUid")).toInteger());
    const QJsonArray notes = root.value(QStringLiteral("notes")).toArray();
    for (const QJsonValue& note : notes)
        cached.notes.append(noteFromJson(note.toObject()));
    return cached;
}

void writeCache(const QString& path, const CachedMailbox& cached)
{
    PrivateFiles::makePrivateFolder(QFileInfo(path).absolutePath());
    QJsonArray notes;
    for (const MailboxNote& note : cached.notes)
        notes.append(noteToJson(note));
    const QJsonObject root{{QStringLiteral("format"), CacheFormat},
                           {QStringLiteral("uidValidity"), static_cast<qint64>(cached.uidValidity)},
                           {QStringLiteral("lastUid"), static_cast<qint64>(cached.lastUid)},
                           {QStringLiteral("notes"), notes}};
    // Only a cache written in whole replaces the one before: a half-written one would
    // hide notes from every later listing.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !PrivateFiles::makePrivate(file) ||
        file.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) < 0 || !file.commit())
        throw KestrelError(QStringLiteral("Could not write the mailbox catalog %1").arg(path));
}

// "*" any run of characters, "/" included, "?" any one; the rest literal.
QString wildcardExpression(const QString& pattern)
{
    QString expression;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('*'))
            expression += QStringLiteral(".*");
        else if (c == QLatin1Char('?'))
            expression += QLatin1Char('.');
        else
            expression += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression::anchoredPattern(expression);
}

} // namespace

MailboxCatalog::MailboxCatalog(QString cacheFolder)
    : m_cacheFolder(cacheFolder.isEmpty() ? defaultCacheFolder() : std::move(cacheFolder))
{}

QString MailboxCatalog::subjectPrefix()
{
    return QStringLiteral("KestrelSolo Save#") + machineNumberText() + QLatin1Char('#');
}

QString MailboxCatalog::defaultCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Orrery/") + currentProfile().name;
}

MailboxCatalog::Refresh MailboxCatalog::refresh(MailboxReader& reader,
                                                const MailboxReader::MailboxState& state,
                                                const QString& mailboxKey,
                                                RestoreProgress& progress, const StepRunner& runner)
{
    QElapsedTimer timer;
    timer.start();
    Refresh result;
    const QString prefix = subjectPrefix();
    const QString path = cachePath(m_cacheFolder, mailboxKey);

    progress.status(QStringLiteral("Looking for save notes..."));
    CachedMailbox cached = readCache(path);
    if (cached.uidValidity != state.uidValidity || state.uidValidity == 0) {
        cached = CachedMailbox();
        cached.uidValidity = state.uidValidity;
        result.readEverything = true;
    }
    // With a cache, the server searches the subjects of the new messages only, and
    // the list of all UIDs tells which cached notes are gone.
    QList<quint32> uids;
    QList<quint32> all;
    runStep(runner, [&] {
        uids = reader.findSubjects(prefix, cached.lastUid);
        all = result.readEverything ? uids : reader.allUids();
    });
    const QSet<quint32> present(all.cbegin(), all.cend());
    QList<MailboxNote> notes;
    for (const MailboxNote& note : std::as_const(cached.notes)) {
        if (present.contains(note.uid))
            notes.append(note);
    }
    result.notesFromCache = static_cast<int>(notes.size());

    // UIDs are never given twice under one UIDVALIDITY: those up to the last one seen
    // that the cache lacks were read before and are no save notes.
    QList<quint32> unread;
    for (quint32 uid : std::as_const(uids)) {
        if (uid > cached.lastUid)
            unread.append(uid);
    }
    for (qsizetype at = 0; at < unread.size(); at += NotesPerRequest) {
        if (progress.cancelRequested())
            throw KestrelError(QStringLiteral("cancelled"));
        progress.status(QStringLiteral("Reading save notes %1 to %2 of %3...")
                            .arg(at + 1)
                            .arg(qMin(at + NotesPerRequest, unread.size()))
                            .arg(unread.size()));
        progress.progress(at, unread.size());
        const QList<quint32> batch = unread.mid(at, NotesPerRequest);
        QList<MailboxNote> read;
        runStep(runner, [&] { read = reader.readNotes(batch); });
        for (const MailboxNote& note : std::as_const(read)) {
            if (SaveNoteSubject::parse(prefix, note.subject, note.attachmentName))
                notes.append(note);
        }
        result.notesRead += static_cast<int>(read.size());
        cached.lastUid = qMax(cached.lastUid, batch.constLast());
    }
    progress.progress(unread.size(), unread.size());
    std::sort(notes.begin(), notes.end(),
              [](const MailboxNote& a, const MailboxNote& b) { return a.uid < b.uid; });
    cached.notes = notes;
    writeCache(path, cached);

    m_files = groupSavedVersions(prefix, notes);
    result.elapsedMs = timer.elapsed();
    return result;
}

QList<SavedFile> MailboxCatalog::matching(const QString& pattern) const
{
    if (pattern.isEmpty())
        return m_files;
    QList<SavedFile> found;
    const bool wildcard = pattern.contains(QLatin1Char('*')) || pattern.contains(QLatin1Char('?'));
    const bool onName = !pattern.contains(QLatin1Char('/'));
    const QRegularExpression expression(wildcard ? wildcardExpression(pattern) : QString(),
                                        QRegularExpression::CaseInsensitiveOption);
    for (const SavedFile& file : m_files) {
        bool matches = false;
        if (!wildcard)
            matches = file.path.contains(pattern, Qt::CaseInsensitive);
        else
            matches = expression.match(onName ? file.path.section(QLatin1Char('/'), -1) : file.path)
                          .hasMatch();
        if (matches)
            found.append(file);
    }
    return found;
}
