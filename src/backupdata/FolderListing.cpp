#include "backupdata/FolderListing.h"

#include "backupdata/SelectionListText.h"

#include <QFile>
#include <QStringBuilder>

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

// A name of plain ASCII without a line break or Ctrl-Z: accepted as it is, with no
// need to decode it. Other names take the full checks.
bool isPlainListableName(const char* name)
{
    for (; *name != '\0'; ++name) {
        const auto byte = static_cast<unsigned char>(*name);
        if (byte >= 0x80 || byte == '\n' || byte == '\r' || byte == 0x1A)
            return false;
    }
    return true;
}

} // namespace

FolderListing listFolder(const QString& folder, FileNames fileNames)
{
    FolderListing listing;
    DIR* directory = opendir(QFile::encodeName(folder).constData());
    if (!directory) {
        listing.folderProblems.append(unreadableFolderMessage(folder));
        return listing;
    }
    struct stat folderStatus;
    if (fstat(dirfd(directory), &folderStatus) == 0) {
        listing.device = quint64(folderStatus.st_dev);
        listing.inode = quint64(folderStatus.st_ino);
    }
    const auto keep = [&listing, fileNames](EntryKind kind, const QString& name) {
        if (kind == EntryKind::Folder) {
            listing.folders.append(name);
        } else {
            ++listing.fileCount;
            if (fileNames != FileNames::CountOnly)
                listing.files.append(name);
        }
    };
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] == '.')
            continue;
        const EntryKind kind = kindOf(directory, entry);
        if (kind == EntryKind::Other)
            continue;
        // A plain ASCII name reads the same in every encoding and needs no checks.
        if (isPlainListableName(entry->d_name)) {
            keep(kind, QString::fromLatin1(entry->d_name));
            continue;
        }
        const QByteArray rawName(entry->d_name);
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
        keep(kind, name);
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
    return folder % u'/' % name;
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
