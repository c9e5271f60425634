// Loads a backup log of many records into the log tree of the Back Up Log page and
// prints how long it took. usage: bench_logtree [records] (default 100000)
#include "core/QuayRegistryObject.h"
#include "sequence/SequenceState.h"
#include "ui/BackUpLogPage.h"
#include "ui/BackUpLogView.h"
#include "ui/SummaryPage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("Log.Txt"));
    {
        // Ten saved copies of each file, ten files a folder, folders two levels deep.
        QFile file(log);
        file.open(QIODevice::WriteOnly);
        for (int i = 0; i < records; ++i) {
            const int fileNumber = i / 10;
            const QByteArray path =
                "/home/ann/Documents/project" + QByteArray::number(fileNumber / 1000) + "/part" +
                QByteArray::number(fileNumber / 10 % 100) + "/file" +
                QByteArray::number(fileNumber) + (fileNumber % 7 == 0 ? ".zip" : ".txt");
            file.write(path + ";01/03/2004 10:00:00;37 KB;02/03/2004 10:" +
                       QByteArray::number(10 + i % 50) + ":00;0\r\n");
        }
    }
    BackUpLogPage page;
    SummaryPage summary;
    SequenceState sequence;
    bool loadAtStart = true;
    BackUpLogView view(&page, &summary, sequence, &loadAtStart);
    view.setIconKeyList({QStringLiteral("drive"), QStringLiteral("folder"),
                         QStringLiteral("kestrelbackupfolder"),
                         QStringLiteral("kestrelbackedupfolder"), QStringLiteral(".zip"),
                         QStringLiteral("unkownfiletype")});
    QElapsedTimer timer;
    timer.start();
    view.LoadLogIntoTree(log);
    const qint64 elapsed = timer.elapsed();
    std::printf("records=%d log_bytes=%lld load_ms=%lld top_level=%d\n", records,
                static_cast<long long>(QFile(log).size()), static_cast<long long>(elapsed),
                page.trvBackUpLog->topLevelItemCount());
    return 0;
}
