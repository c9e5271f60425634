#include "core/PrivateFiles.h"
#include "core/SettingsDatabase.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <sys/stat.h>

namespace {

constexpr mode_t OthersBits = 0077;
constexpr mode_t FolderMode = 0700;

// Drops what group and others may do; a link is left alone, as is what is not ours.
void tighten(const QByteArray& path)
{
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0 || S_ISLNK(info.st_mode) ||
        info.st_uid != ::geteuid() || (info.st_mode & OthersBits) == 0)
        return;
    ::chmod(path.constData(), S_ISDIR(info.st_mode) ? FolderMode : info.st_mode & 0700);
}

bool isLoose(const QByteArray& path)
{
    struct stat info = {};
    return ::lstat(path.constData(), &info) == 0 && !S_ISLNK(info.st_mode) &&
           (info.st_mode & OthersBits) != 0;
}

void tightenTree(const QString& root)
{
    const QByteArray encodedRoot = QFile::encodeName(root);
    if (!isLoose(encodedRoot))
        return;
    QDirIterator entries(root,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext())
        tighten(QFile::encodeName(entries.next()));
    tighten(encodedRoot);
}

} // namespace

namespace PrivateFiles {

void tightenFile(const QString& path)
{
    tighten(QFile::encodeName(path));
}

bool makePrivate(QFileDevice& file)
{
    const int descriptor = file.handle();
    return descriptor >= 0 && ::fchmod(descriptor, 0600) == 0;
}

bool makePrivateFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).absolutePath();
    if (parent != clean && !makePrivateFolder(parent))
        return false;
    return ::mkdir(QFile::encodeName(clean).constData(), FolderMode) == 0 ||
           QFileInfo(clean).isDir();
}

QStringList programRoots()
{
    const QString config = QFileInfo(SettingsDatabase::defaultPath()).absolutePath();
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Orrery");
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                          QStringLiteral("/Orrery");
    return {config, data, cache};
}

void tightenAtStart()
{
    for (const QString& root : programRoots())
        tightenTree(root);
}

} // namespace PrivateFiles
