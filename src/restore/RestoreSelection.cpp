#include "restore/RestoreSelection.h"

#include <QHash>

namespace {

QString dateText(const SavedVersion& version)
{
    return version.noteDate.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

LatestChoice latestToRestore(const QString& path, const QList<const SavedVersion*>& candidates)
{
    LatestChoice choice;
    if (candidates.isEmpty())
        return choice;
    const SavedVersion* newest = candidates.constFirst();
    choice.version = newest;
    if (newest->complete())
        return choice;
    for (const SavedVersion* version : candidates) {
        if (version->complete()) {
            choice.version = version;
            choice.notice =
                QStringLiteral("The newest version of %1, saved %2, is %3. The version saved "
                               "%4 is restored instead.")
                    .arg(path, dateText(*newest), newest->fault(), dateText(*version));
            return choice;
        }
    }
    choice.notice = QStringLiteral("The newest version of %1, saved %2, is %3, and no older "
                                   "version is whole.")
                        .arg(path, dateText(*newest), newest->fault());
    return choice;
}

QList<SavedVersion> versionsToRestore(const QList<RestorePick>& picks, QStringList* notices)
{
    // Per file: the version index chosen so far and whether it was chosen on its own.
    struct Choice
    {
        const SavedFile* file;
        int version;
        bool explicitly;
    };
    QList<Choice> choices;
    QHash<QString, qsizetype> byPath;
    for (const RestorePick& pick : picks) {
        if (!pick.file || pick.file->versions.isEmpty() ||
            pick.version >= pick.file->versions.size())
            continue;
        const bool explicitly = pick.version >= 0;
        const int version = explicitly ? pick.version : 0;
        const auto found = byPath.constFind(pick.file->path);
        if (found == byPath.cend()) {
            byPath.insert(pick.file->path, choices.size());
            choices.append({pick.file, version, explicitly});
            continue;
        }
        Choice& choice = choices[*found];
        // Versions are newest first: a lower index is newer.
        if (explicitly && (!choice.explicitly || version < choice.version)) {
            choice.version = version;
            choice.explicitly = true;
        }
    }
    QList<SavedVersion> versions;
    versions.reserve(choices.size());
    for (const Choice& choice : choices) {
        if (choice.explicitly) {
            versions.append(choice.file->versions.at(choice.version));
            continue;
        }
        QList<const SavedVersion*> candidates;
        for (const SavedVersion& version : choice.file->versions)
            candidates.append(&version);
        const LatestChoice latest = latestToRestore(choice.file->path, candidates);
        versions.append(*latest.version);
        if (notices && !latest.notice.isEmpty())
            notices->append(latest.notice);
    }
    return versions;
}
