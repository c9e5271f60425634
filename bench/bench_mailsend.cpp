// Zip-and-send throughput: every file of a folder is packed into its own archive
// (deflate level 9, AES-256, as a sequence does) and mailed over one SMTP session
// to a server on 127.0.0.1; for comparison the same files are only zipped.
//
// Usage: bench_mailsend <smtp port> <source folder> [zip-only|send|both]
// Prints the source bytes, the seconds and MB/s of each pass, and the process's peak
// resident size. bench/mailsend.sh prepares the files, runs the server and the
// command-line comparison.

#include "core/KestrelError.h"
#include "transport/IdMessage.h"
#include "transport/IdSMTP.h"
#include "transport/ZipMaster.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

long peakResidentKiB()
{
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QString zipOne(const QString& source, const QString& zipFolder)
{
    TZipMaster zip;
    zip.SetAddCompLevel(9);
    zip.SetAddOptions(TZipMaster::AddEncrypt);
    zip.SetPassword(QStringLiteral("benchmark password"));
    zip.LoadZipEngine();
    zip.SetZipFileName(
        QDir(zipFolder).filePath(QFileInfo(source).fileName() + QStringLiteral(".zip")));
    zip.FSpecArgs() << source;
    zip.AddFiles();
    if (zip.SuccessCount() != 1)
        throw KestrelError(QStringLiteral("zip failed: ") + zip.LastErrorMessage());
    return zip.ZipFileName();
}

void report(const char* pass, qint64 bytes, qint64 milliseconds)
{
    const double seconds = milliseconds / 1000.0;
    std::printf("%-9s %lld bytes in %.2f s = %.1f MB/s\n", pass, bytes, seconds,
                bytes / 1e6 / seconds);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: bench_mailsend <smtp port> <source folder> [zip-only|send|both]\n");
        return 2;
    }
    const int port = QByteArray(argv[1]).toInt();
    const QDir sourceFolder(QString::fromLocal8Bit(argv[2]));
    const QByteArray mode = argc > 3 ? QByteArray(argv[3]) : QByteArray("both");
    QStringList sources;
    qint64 sourceBytes = 0;
    for (const QFileInfo& info : sourceFolder.entryInfoList(QDir::Files, QDir::Name)) {
        sources << info.filePath();
        sourceBytes += info.size();
    }
    QTemporaryDir zipFolder;

    try {
        if (mode != "send") {
            QElapsedTimer timer;
            timer.start();
            for (const QString& source : sources)
                QFile::remove(zipOne(source, zipFolder.path()));
            report("zip-only", sourceBytes, timer.elapsed());
        }
        if (mode != "zip-only") {
            TIdSMTP session;
            session.Host = QStringLiteral("127.0.0.1");
            session.Port = port;
            QElapsedTimer timer;
            timer.start();
            session.Connect();
            TIdMessage message;
            message.From.setText(QStringLiteral("bench@127.0.0.1"));
            message.Recipients.setText(QStringLiteral("backup@example.org"));
            for (const QString& source : sources) {
                message.Subject = QStringLiteral("KestrelSolo Save#1#") + source;
                const QString archive = zipOne(source, zipFolder.path());
                message.addAttachment(archive);
                session.Send(message);
                message.clearParts();
                QFile::remove(archive);
            }
            session.Disconnect();
            report("zip+send", sourceBytes, timer.elapsed());
        }
    } catch (const KestrelError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    std::printf("peak RSS  %ld KiB\n", peakResidentKiB());
    return 0;
}
