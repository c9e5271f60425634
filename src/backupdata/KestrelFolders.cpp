#include "backupdata/KestrelFolders.h"

#include "backupdata/FolderListing.h"
#include "backupdata/LogLineFormat.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <sys/stat.h>

namespace {

// Guards against a folder reached twice (a bind mount of a parent inside itself): the
// walk enters each device and inode once.
class VisitedFolders
{
public:
    bool enter(const QString& folder)
    {
        struct stat status;
        if (stat(QFile::encodeName(folder).constData(), &status) != 0)
            return true;
        return enter(quint64(status.st_dev), quint64(status.st_ino));
    }
    // The same for a folder already read: listFolder gives its numbers (0 when it
    // could not be read, which counts as a first visit).
    bool enter(quint64 device, quint64 inode)
    {
        if (device == 0 && inode == 0)
            return true;
        const QPair<quint64, quint64> identity{device, inode};
        if (m_seen.contains(identity))
            return false;
        m_seen.insert(identity);
        return true;
    }

private:
    QSet<QPair<quint64, quint64>> m_seen;
};

bool liesIn(const QString& path, const QString& area)
{
    if (area == QStringLiteral("/"))
        return true;
    return path == area || path.startsWith(area + u'/');
}

bool isExcluded(const QString& path, const QStringList& areas)
{
    return std::any_of(areas.begin(), areas.end(),
                       [&path](const QString& area) { return liesIn(path, area); });
}

void report(QStringList* problems, const QStringList& found)
{
    if (problems)
        problems->append(found);
}

// listings, when given, receives what was read of every folder.
void collectSubFolders(const QString& folder, QStringList& list, QStringList* problems,
                       VisitedFolders& visited, QHash<QString, FolderListing>* listings,
                       const TKestrelFolders::FolderFilter& enter)
{
    FolderListing listing = listFolder(folder, listings ? FileNames::Keep : FileNames::CountOnly);
    if (!visited.enter(listing.device, listing.inode))
        return;
    report(problems, listing.folderProblems);
    for (const QString& name : std::as_const(listing.folders)) {
        const QString path = joinFolderPath(folder, name);
        if (enter && !enter(path))
            continue;
        list.append(path);
        collectSubFolders(path, list, problems, visited, listings, enter);
    }
    if (listings)
        listings->insert(folder, std::move(listing));
}

struct NewFolderSearch
{
    QDateTime since;
    QStringList excludedAreas;
    const TKestrelFolders::WalkStep& step;
    QStringList& list;
    QStringList* problems;
    VisitedFolders visited;
    bool stopped = false;

    void search(const QString& folder)
    {
        if (stopped || !visited.enter(folder))
            return;
        if (step && !step()) {
            stopped = true;
            return;
        }
        const FolderListing listing = listFolder(folder);
        report(problems, listing.folderProblems);
        for (const QString& name : listing.folders) {
            const QString path = joinFolderPath(folder, name);
            if (isExcluded(path, excludedAreas))
                continue;
            if (QFileInfo(path).lastModified() > since)
                list.append(path);
            search(path);
            if (stopped)
                return;
        }
    }
};

} // namespace

void TKestrelFolders::GetSubFolders(const QString& folder, QStringList& list, QStringList* problems)
{
    VisitedFolders visited;
    collectSubFolders(folder, list, problems, visited, nullptr, {});
}

void TKestrelFolders::GetSubFolders(const QString& folder, QStringList& list,
                                    QHash<QString, FolderListing>& listings, QStringList* problems,
                                    const FolderFilter& enter)
{
    VisitedFolders visited;
    collectSubFolders(folder, list, problems, visited, &listings, enter);
}

void TKestrelFolders::FindNewFolders(const QString& folder, const QString& sinceDateText,
                                     QStringList& list, const WalkStep& step, QStringList* problems)
{
    const QDateTime since = parseLogDateTime(sinceDateText);
    if (!since.isValid())
        throw KestrelError(QStringLiteral("'%1' is not a valid date").arg(sinceDateText));
    // A search started inside an excluded area is the user's own choice: that area stays open.
    QStringList areas = excludedSearchAreas();
    areas.removeIf([&folder](const QString& area) { return liesIn(folder, area); });
    NewFolderSearch search{since, areas, step, list, problems, {}};
    search.search(folder);
}

QString TKestrelFolders::newFolderSearchRoot()
{
    return QDir::homePath();
}

QStringList TKestrelFolders::excludedSearchAreas()
{
    QStringList areas{
        QStringLiteral("/proc"), QStringLiteral("/sys"),       QStringLiteral("/dev"),
        QStringLiteral("/run"),  QStringLiteral("/tmp"),       QStringLiteral("/usr"),
        QStringLiteral("/var"),  QStringLiteral("/etc"),       QStringLiteral("/boot"),
        QStringLiteral("/snap"), QStringLiteral("/lost+found")};
    // The data folder of every edition: lists, logs, archives and burn areas.
    const QFileInfo dataFolder(QFileInfo(currentProgramFolder()).absolutePath());
    areas.append(dataFolder.absoluteFilePath());
    if (dataFolder.canonicalFilePath() != dataFolder.absoluteFilePath())
        areas.append(dataFolder.canonicalFilePath());
    return areas;
}
