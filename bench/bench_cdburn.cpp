// A disc sequence without a window burning one file of the given size (MB, default
// 600) into an image file, against xorriso run directly with the same options on
// the same tree. Everything lives in a temporary home below $TMPDIR.
#include "core/Clock.h"
#include "core/QuayRegistryObject.h"
#include "sequence/HeadlessRun.h"
#include "support/TestEnvironment.h"
#include "transport/CDBurner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 600;
    TestEnvironment env(QStringLiteral("KestrelCD"));
    SystemClock clock;
    const ScopedServices services({&env.prompt, &clock, &env.autostart, &env.powerOff, &env.dialUp,
                                   &env.notifications, &env.fileManagerMenu, &env.secretStore});

    const QString source = env.path(QStringLiteral("data/big.bin"));
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(source));
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 i = 0; i < megabytes; ++i) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()),
                                                  block.size() / 4);
            file.write(block);
        }
    }
    const QString image = env.path(QStringLiteral("discs/sequence.iso"));
    const TQuayRegistryObject store;
    store.WriteCDBurnerDevice(QStringLiteral("stdio:") + image);
    store.WriteCloseTray(true);
    store.WriteMaxNumberOfBytesToBackedUp(4e9);
    store.WriteMediaCapacity(700);
    {
        QFile list(store.ReadFileOfFiles());
        list.open(QIODevice::WriteOnly);
        list.write(source.toUtf8() + "\r\n");
    }

    QString printed;
    QTextStream out(&printed);
    QElapsedTimer timer;
    timer.start();
    const int status = HeadlessRun(out, false).exec();
    const qint64 sequenceMs = timer.elapsed();

    // The same burn by hand: the file staged (copied) into a tree, one session with
    // MD5 sums, then the listing and MD5 check the sequence makes.
    const QString tree = env.path(QStringLiteral("direct/tree")) + source;
    QDir().mkpath(QFileInfo(tree).absolutePath());
    const QString direct = env.path(QStringLiteral("discs/direct.iso"));
    timer.restart();
    QFile::copy(source, tree);
    const qint64 copyMs = timer.elapsed();
    const auto xorriso = [](const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("xorriso"), arguments);
        process.waitForFinished(-1);
        return process.exitCode();
    };
    const QString device = QStringLiteral("stdio:") + direct;
    const int burn =
        xorriso({QStringLiteral("-md5"), QStringLiteral("on"), QStringLiteral("-dev"), device,
                 QStringLiteral("-map"), env.path(QStringLiteral("direct/tree")),
                 QStringLiteral("/"), QStringLiteral("-commit"), QStringLiteral("-end")});
    const qint64 burnMs = timer.elapsed() - copyMs;
    xorriso({QStringLiteral("-indev"), device, QStringLiteral("-find"), QStringLiteral("/"),
             QStringLiteral("-type"), QStringLiteral("f"), QStringLiteral("-exec"),
             QStringLiteral("lsdl"), QStringLiteral("--")});
    const int check =
        xorriso({QStringLiteral("-md5"), QStringLiteral("on"), QStringLiteral("-indev"), device,
                 QStringLiteral("-check_md5_r"), QStringLiteral("FAILURE"), QStringLiteral("/"),
                 QStringLiteral("--")});
    const qint64 directMs = timer.elapsed();

    std::printf("file: %lld MB\n", static_cast<long long>(megabytes));
    std::printf("headless sequence: exit %d, %lld ms (image %lld bytes)\n", status,
                static_cast<long long>(sequenceMs),
                static_cast<long long>(QFileInfo(image).size()));
    std::printf("direct: copy %lld ms, burn %lld ms (exit %d), with listing and md5 check %lld ms "
                "(exit %d)\n",
                static_cast<long long>(copyMs), static_cast<long long>(burnMs), burn,
                static_cast<long long>(directMs), check);
    return status;
}
