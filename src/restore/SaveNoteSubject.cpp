#include "restore/SaveNoteSubject.h"

#include <QMap>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

bool namesPart(const QString& attachmentName, int part)
{
    static const QRegularExpression numbered(QStringLiteral("\\.(\\d{3,})$"));
    const QRegularExpressionMatch match = numbered.match(attachmentName);
    return match.hasMatch() && match.captured(1).toInt() == part;
}

} // namespace

std::optional<SaveNoteSubject> SaveNoteSubject::parse(const QString& prefix, const QString& subject,
                                                      const QString& attachmentName)
{
    if (!subject.startsWith(prefix))
        return std::nullopt;
    SaveNoteSubject parsed;
    parsed.path = subject.mid(prefix.size());
    static const QRegularExpression suffix(QStringLiteral(" \\(part (\\d{1,6}) of (\\d{1,6})\\)$"));
    const QRegularExpressionMatch match = suffix.match(parsed.path);
    if (match.hasMatch()) {
        const int part = match.captured(1).toInt();
        const int count = match.captured(2).toInt();
        if (count >= 2 && part >= 1 && part <= count && namesPart(attachmentName, part)) {
            parsed.part = part;
            parsed.count = count;
            parsed.path.chop(match.capturedLength());
        }
    }
    if (parsed.path.isEmpty())
        return std::nullopt;
    return parsed;
}

namespace {

struct PartNote
{
    int part = 1;
    MailboxNote note;
};

// The notes of one set, whatever order they arrived in: each part once, in order.
// A part delivered twice is one part; two different notes for one part, or notes
// that announce different counts, make a set that does not add up.
SavedVersion versionOfSet(const QString& path, const QString& setId, QList<PartNote> notes,
                          const QList<int>& counts)
{
    std::stable_sort(notes.begin(), notes.end(),
                     [](const PartNote& a, const PartNote& b) { return a.part < b.part; });
    SavedVersion version;
    version.path = path;
    version.setId = setId;
    version.partCount = *std::max_element(counts.begin(), counts.end());
    QList<int> clashing;
    for (const PartNote& part : std::as_const(notes)) {
        if (!version.partNumbers.isEmpty() && version.partNumbers.constLast() == part.part) {
            const MailboxNote& kept = version.parts.constLast();
            if ((kept.attachmentEncodedSize != part.note.attachmentEncodedSize ||
                 kept.attachmentName != part.note.attachmentName) &&
                !clashing.contains(part.part))
                clashing.append(part.part);
            continue;
        }
        version.parts.append(part.note);
        version.partNumbers.append(part.part);
    }
    version.noteDate = version.parts.constFirst().date;
    QList<int> announced = counts;
    std::sort(announced.begin(), announced.end());
    announced.erase(std::unique(announced.begin(), announced.end()), announced.end());
    if (announced.size() > 1) {
        QStringList numbers;
        for (const int count : std::as_const(announced))
            numbers.append(QString::number(count));
        version.problem = QStringLiteral("the notes of its set announce %1 parts")
                              .arg(numbers.join(QStringLiteral(" and ")));
    } else if (!clashing.isEmpty()) {
        version.problem =
            QStringLiteral("part %1 came twice with different contents").arg(clashing.constFirst());
    }
    return version;
}

// Notes written before sets were marked: the parts of one path and count in the order
// they were sent (their date, then their number), one set after the other. A part
// numbered no higher than the run's last begins the next set, unless it is the same
// note delivered twice; a set with a part missing stays one version, short of it.
void addUnmarkedVersions(const QString& path, int count, QList<PartNote> notes,
                         QList<SavedVersion>& versions)
{
    std::stable_sort(notes.begin(), notes.end(), [](const PartNote& a, const PartNote& b) {
        if (a.note.date != b.note.date)
            return a.note.date < b.note.date;
        return a.part < b.part;
    });
    SavedVersion run;
    const auto closeRun = [&] {
        if (!run.parts.isEmpty())
            versions.append(run);
        run = SavedVersion();
    };
    for (const PartNote& part : std::as_const(notes)) {
        if (!run.parts.isEmpty()) {
            const int last = run.partNumbers.constLast();
            if (part.part == last && part.note.date == run.parts.constLast().date &&
                part.note.attachmentEncodedSize == run.parts.constLast().attachmentEncodedSize)
                continue;
            if (part.part <= last)
                closeRun();
        }
        if (run.parts.isEmpty()) {
            run.path = path;
            run.partCount = count;
            run.noteDate = part.note.date;
        }
        run.parts.append(part.note);
        run.partNumbers.append(part.part);
        if (part.part == count)
            closeRun();
    }
    closeRun();
}

} // namespace

QList<SavedFile> groupSavedVersions(const QString& prefix, const QList<MailboxNote>& notes)
{
    struct Set
    {
        QList<PartNote> notes;
        QList<int> counts;
    };
    // Keyed by path and set; unmarked notes by path and count.
    QMap<QPair<QString, QString>, Set> sets;
    QMap<QPair<QString, int>, QList<PartNote>> unmarked;
    for (const MailboxNote& note : notes) {
        const auto subject = SaveNoteSubject::parse(prefix, note.subject, note.attachmentName);
        if (!subject || note.attachmentSection.isEmpty())
            continue;
        const PartNote part{subject->part, note};
        if (note.setId.isEmpty()) {
            unmarked[{subject->path, subject->count}].append(part);
            continue;
        }
        Set& set = sets[{subject->path, note.setId}];
        set.notes.append(part);
        set.counts.append(subject->count);
    }

    QMap<QString, QList<SavedVersion>> byPath;
    for (auto it = sets.cbegin(); it != sets.cend(); ++it)
        byPath[it.key().first].append(
            versionOfSet(it.key().first, it.key().second, it->notes, it->counts));
    for (auto it = unmarked.cbegin(); it != unmarked.cend(); ++it)
        addUnmarkedVersions(it.key().first, it.key().second, it.value(), byPath[it.key().first]);

    QList<SavedFile> files;
    for (auto it = byPath.begin(); it != byPath.end(); ++it) {
        SavedFile file{it.key(), it.value()};
        std::stable_sort(file.versions.begin(), file.versions.end(),
                         [](const SavedVersion& a, const SavedVersion& b) {
                             if (a.noteDate != b.noteDate)
                                 return a.noteDate > b.noteDate;
                             return a.parts.constFirst().uid > b.parts.constFirst().uid;
                         });
        files.append(file);
    }
    return files;
}
