#include "backupdata/FolderListing.h"

#include "backupdata/SelectionListText.h"

#include <QFile>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

enum class EntryKind
{
    File,
    Folder,
    Other
};

EntryKind kindOf(DIR* directory, const dirent* entry)
{
    const int folderDescriptor = dirfd(directory);
    struct stat status;
    switch (entry->d_type) {
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK:
        // A link counts as the regular file it points to; a link to a folder is not followed.
        if (fstatat(folderDescriptor, entry->d_name, &status, 0) == 0 && S_ISREG(status.st_mode))
            return EntryKind::File;
        return EntryKind::Other;
    case DT_UNKNOWN:
        if (fstatat(folderDescriptor, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            return EntryKind::Other;
        if (S_ISDIR(status.st_mode))
            return EntryKind::Folder;
        if (S_ISREG(status.st_mode))
            return EntryKind::File;
        if (S_ISLNK(status.st_mode) && fstatat(folderDescriptor, entry->d_name, &status, 0) == 0 &&
            S_ISREG(status.st_mode))
            return EntryKind::File;
        return EntryKind::Other;
    default:
        return EntryKind::Other;
    }
}

} // namespace

FolderListing listFolder(const QString& folder)
{
    FolderListing listing;
    DIR* directory = opendir(QFile::encodeName(folder).constData());
    if (!directory) {
        listing.folderProblems.append(unreadableFolderMessage(folder));
        return listing;
    }
    while (const dirent* entry = readdir(directory)) {
        const QByteArray rawName(entry->d_name);
        if (rawName.startsWith('.'))
            continue;
        const EntryKind kind = kindOf(directory, entry);
        if (kind == EntryKind::Other)
            continue;
        const QString name = QFile::decodeName(rawName);
        QStringList& problems =
            kind == EntryKind::File ? listing.fileProblems : listing.folderProblems;
        if (QFile::encodeName(name) != rawName) {
            problems.append(undecodableNameMessage(joinFolderPath(folder, name)));
            continue;
        }
        if (!isListableName(name)) {
            problems.append(unlistableNameMessage(joinFolderPath(folder, name)));
            continue;
        }
        (kind == EntryKind::File ? listing.files : listing.folders).append(name);
    }
    closedir(directory);
    std::sort(listing.files.begin(), listing.files.end(), listTextLess);
    std::sort(listing.folders.begin(), listing.folders.end(), listTextLess);
    return listing;
}

QString joinFolderPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

QString unreadableFolderMessage(const QString& folder)
{
    return QStringLiteral("The folder \"%1\" could not be read.").arg(folder);
}

QString undecodableNameMessage(const QString& path)
{
    return QStringLiteral("\"%1\" has a name that is not valid UTF-8 and cannot be backed up; "
                          "it was skipped.")
        .arg(path);
}
