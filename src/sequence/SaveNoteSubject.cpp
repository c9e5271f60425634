#include "sequence/SaveNoteSubject.h"

#include <QMap>
#include <QRegularExpression>

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

QList<SavedFile> groupSavedVersions(const QString& prefix, const QList<MailboxNote>& notes)
{
    QMap<QString, QList<SavedVersion>> byPath;
    // The run of parts still being joined, for each path and count, with the number of
    // its last part.
    QMap<QPair<QString, int>, SavedVersion> open;
    QMap<QPair<QString, int>, int> lastPart;
    const auto closeRun = [&](const QPair<QString, int>& key) {
        const auto run = open.find(key);
        if (run == open.end())
            return;
        byPath[key.first].append(*run);
        open.erase(run);
        lastPart.remove(key);
    };
    for (const MailboxNote& note : notes) {
        const auto subject = SaveNoteSubject::parse(prefix, note.subject, note.attachmentName);
        if (!subject || note.attachmentSection.isEmpty())
            continue;
        SavedVersion version;
        version.path = subject->path;
        version.noteDate = note.date;
        version.partCount = subject->count;
        if (subject->count == 1) {
            version.parts.append(note);
            byPath[version.path].append(version);
            continue;
        }
        const QPair<QString, int> key(subject->path, subject->count);
        auto run = open.find(key);
        // Parts go out in order, one set after the other: a part numbered no higher than
        // the run's last begins the next set. A set with a part missing stays one
        // version, short of its count and so incomplete.
        if (run != open.end() && subject->part <= lastPart.value(key)) {
            closeRun(key);
            run = open.end();
        }
        if (run == open.end())
            run = open.insert(key, version);
        run->parts.append(note);
        lastPart[key] = subject->part;
        // The last part ends a run.
        if (subject->part == subject->count)
            closeRun(key);
    }
    for (const auto& key : open.keys())
        closeRun(key);

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
