#include "sequence/RestoreSelection.h"

#include <QHash>

QList<SavedVersion> versionsToRestore(const QList<RestorePick>& picks)
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
    for (const Choice& choice : choices)
        versions.append(choice.file->versions.at(choice.version));
    return versions;
}
