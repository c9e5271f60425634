// Speed of filling the selection trees: 100,000 paths (10,000 of them in one folder)
// into the files tree and the folders tree through PathTree, and the straightforward
// algorithm (scan the siblings for each component, re-sort the folders tree after every
// insertion) against PathTree: the files tree at the full size, the folders tree, which
// sorts after each insertion, at a size where that still finishes.
//
// Usage: bench_treeinsert [paths] [straightforward paths]   (defaults 100000 and 4000)

#include "ui/PathTree.h"
#include "ui/TreeImages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>

#include <cstdio>
#include <ctime>

namespace {

// Wall time and the process's processor time: the build machine is shared, and the
// processor time shows the work itself when other builds hold the cores.
struct Timing
{
    double wall = 0;
    double cpu = 0;
};

double processSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class Stopwatch
{
public:
    Stopwatch() : m_cpuStart(processSeconds()) { m_wall.start(); }
    Timing elapsed() const { return {m_wall.nsecsElapsed() / 1e9, processSeconds() - m_cpuStart}; }

private:
    QElapsedTimer m_wall;
    double m_cpuStart;
};

// `count` paths below /home/ann: a tenth of them in one crowded folder, the rest spread
// over project folders with a few sub-folders each, in a shuffled but fixed order.
QStringList makePaths(int count)
{
    QStringList paths;
    paths.reserve(count);
    const int crowded = count / 10;
    for (int i = 0; i < count; ++i) {
        const int n = static_cast<int>((i * 7919LL) % count);
        if (n < crowded)
            paths.append(QStringLiteral("/home/ann/Photos/IMG_%1.jpg").arg(n, 6, 10, QChar(u'0')));
        else
            paths.append(QStringLiteral("/home/ann/Project %1/Part %2/report-%3.doc")
                             .arg(n % 97)
                             .arg(n % 13)
                             .arg(n));
    }
    return paths;
}

QStringList folderPaths(const QStringList& files)
{
    QStringList folders;
    folders.reserve(files.size());
    for (const QString& file : files)
        folders.append(file.left(file.lastIndexOf(u'/')) + u'/' +
                       file.mid(file.lastIndexOf(u'/') + 1).replace(u'.', u'_'));
    return folders;
}

Timing timePathTree(const QStringList& paths, PathTree::Kind kind)
{
    QTreeWidget widget;
    PathTree tree(&widget, kind);
    tree.setIconKeyList({QStringLiteral("drive"), QStringLiteral("folder"),
                         QStringLiteral("kestrelbackupfolder"),
                         QStringLiteral("kestrelbackedupfolder"), QStringLiteral(".zip"),
                         QStringLiteral("unkownfiletype")});
    const Stopwatch stopwatch;
    for (const QString& path : paths) {
        if (kind == PathTree::Kind::Folders)
            tree.InsertFolderPath(path);
        else
            tree.InsertFilePath(path);
    }
    return stopwatch.elapsed();
}

// The straightforward insertion: for each component, scan the children of the node
// matched so far from the first; add what is missing as a last child; re-sort the
// whole folders tree after every insertion.
Timing timeStraightforward(const QStringList& paths, bool sortAfterEach)
{
    QTreeWidget widget;
    const Stopwatch stopwatch;
    for (const QString& path : paths) {
        const QStringList components = selectionPathComponents(path);
        QTreeWidgetItem* matched = nullptr;
        for (const QString& component : components) {
            QTreeWidgetItem* found = nullptr;
            const int count = matched ? matched->childCount() : widget.topLevelItemCount();
            for (int i = 0; i < count && !found; ++i) {
                QTreeWidgetItem* sibling = matched ? matched->child(i) : widget.topLevelItem(i);
                if (sibling->text(0).compare(component, Qt::CaseInsensitive) == 0)
                    found = sibling;
            }
            if (!found) {
                found = new QTreeWidgetItem(QStringList{component});
                TreeImages::setImage(found, TreeImages::List::Folders, matched ? 1 : 0);
                if (matched)
                    matched->addChild(found);
                else
                    widget.addTopLevelItem(found);
            }
            matched = found;
        }
        TreeImages::setImage(matched, TreeImages::List::Folders, 2);
        if (sortAfterEach)
            widget.sortItems(0, Qt::AscendingOrder);
    }
    return stopwatch.elapsed();
}

void row(const char* what, int count, Timing timing)
{
    std::printf("| %-52s | %7d | %8.3f s | %8.3f s |\n", what, count, timing.wall, timing.cpu);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int count = arguments.size() > 1 ? arguments.at(1).toInt() : 100000;
    const int small = arguments.size() > 2 ? arguments.at(2).toInt() : 4000;

    const QStringList files = makePaths(count);
    const QStringList folders = folderPaths(files);
    const QStringList smallFiles = makePaths(small);
    const QStringList smallFolders = folderPaths(smallFiles);

    std::printf("| %-52s | %7s | %10s | %10s |\n", "insertion", "paths", "wall time", "CPU time");
    std::printf("|%s|%s|%s|%s|\n", QByteArray(54, '-').constData(), QByteArray(9, '-').constData(),
                QByteArray(12, '-').constData(), QByteArray(12, '-').constData());
    row("files tree, PathTree", count, timePathTree(files, PathTree::Kind::Files));
    row("folders tree, PathTree", count, timePathTree(folders, PathTree::Kind::Folders));
    row("files tree, sibling scan", count, timeStraightforward(files, false));

    const Timing fileIndexed = timePathTree(smallFiles, PathTree::Kind::Files);
    const Timing fileScanned = timeStraightforward(smallFiles, false);
    const Timing folderIndexed = timePathTree(smallFolders, PathTree::Kind::Folders);
    const Timing folderScanned = timeStraightforward(smallFolders, true);
    row("files tree, PathTree", small, fileIndexed);
    row("files tree, sibling scan", small, fileScanned);
    row("folders tree, PathTree", small, folderIndexed);
    row("folders tree, sibling scan and sort after each", small, folderScanned);
    std::printf("\nCPU time ratios: files tree, sibling scan / PathTree = %.1f; folders tree, "
                "scan and sort / PathTree = %.1f\n",
                fileScanned.cpu / fileIndexed.cpu, folderScanned.cpu / folderIndexed.cpu);
    return 0;
}
