// One large archive mailed in parts against the same archive as one message, side by
// side in one run, to a real SMTP server on 127.0.0.1 (tests/scripts/smtp_sink.py,
// aiosmtpd): the parts go to a sink that announces a SIZE limit, the whole message to
// one without a limit. The source is incompressible (random bytes), packed once as a
// sequence packs it (deflate level 9, AES-256).
//
// Reports the seconds of each pass, the peak resident set of this process after each
// (getrusage of this process alone: /usr/bin/time would count the Python servers as
// well; the parts are sent first, so the figure after them is theirs), this process's
// CPU seconds, and the most bytes the zip folder held beside the archive between parts.
//
// Usage: bench_mailparts [MiB, default 1024] [limit in bytes, default 20000000] [rounds]
// Everything lives in temporary folders that are removed at the end.

#include "SequenceBench.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "transport/IdMessage.h"
#include "transport/MessageIdentity.h"
#include "transport/WrenSMPTObject.h"
#include "transport/ZipMaster.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr auto ZipPassword = "benchmark password";

long peakResidentKiB()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Seconds of CPU this process has used, user and system.
double cpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return time.tv_sec + time.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

QString makeSource(const TestEnvironment& env, qint64 mebibytes)
{
    const QString path = env.path(QStringLiteral("data/large.bin"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (qint64 i = 0; i < mebibytes; ++i) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()),
                                              block.size() / 4);
        file.write(block);
    }
    return path;
}

QString makeArchive(const QString& source)
{
    TZipMaster zip;
    zip.SetAddCompLevel(9);
    zip.SetAddOptions(TZipMaster::AddEncrypt);
    zip.SetPassword(QString::fromLatin1(ZipPassword));
    zip.LoadZipEngine();
    zip.SetZipFileName(QDir(TQuayRegistryObject().ReadZipDirectory())
                           .filePath(QFileInfo(source).fileName() + QStringLiteral(".zip")));
    zip.FSpecArgs() = QStringList{source};
    zip.AddFiles();
    if (zip.SuccessCount() != 1)
        qFatal("zip failed: %s", qPrintable(zip.LastErrorMessage()));
    return zip.ZipFileName();
}

qint64 bytesBesides(const QString& archive)
{
    qint64 bytes = 0;
    const QDir folder = QFileInfo(archive).absoluteDir();
    for (const QFileInfo& entry : folder.entryInfoList(QDir::Files | QDir::Hidden)) {
        if (entry.absoluteFilePath() != QFileInfo(archive).absoluteFilePath())
            bytes += entry.size();
    }
    return bytes;
}

// The stored messages of a sink: its numbers go on over the passes.
QFileInfoList storedMessages(const QString& folder)
{
    return QDir(folder).entryInfoList({QStringLiteral("*.eml")}, QDir::Files);
}

struct Pass
{
    double seconds = 0;
    double cpuSeconds = 0;
    int messages = 0;
    qint64 largestMessage = 0;
    qint64 besideArchive = 0;
};

// Sends the archive to the sink that stores into folder, in parts when limit > 0.
Pass send(const SmtpSink& sink, const QString& folder, const QString& archive, qint64 limit)
{
    const TQuayRegistryObject store;
    store.WriteUserConnectionPort(sink.port());
    TWrenSMPTObject sender;
    sender.session().setReplyTimeoutMs(30 * 60 * 1000);
    TIdMessage message;
    message.From.setText(QStringLiteral("bench@127.0.0.1"));
    message.Recipients.setText(QStringLiteral("backups@example.org"));
    message.Subject = QStringLiteral("KestrelSolo Save#1#") + archive;

    Pass pass;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    sender.Connect();
    if (limit > 0) {
        const std::optional<ArchivePartPlan> plan = sender.PlanZipParts(message, archive, limit);
        if (!plan)
            qFatal("no part fits in %lld bytes", limit);
        const QString setId = MessageIdentity::newSetId();
        for (int part = 1; part <= plan->count(); ++part) {
            sender.SendZipPart(message, archive, *plan, part, setId);
            pass.besideArchive = qMax(pass.besideArchive, bytesBesides(archive));
        }
    } else {
        message.addAttachment(archive);
        sender.session().Send(message);
        message.clearParts();
    }
    sender.Disconnect();
    pass.seconds = timer.elapsed() / 1000.0;
    pass.cpuSeconds = cpuSeconds() - cpuBefore;
    for (const QFileInfo& stored : storedMessages(folder)) {
        ++pass.messages;
        pass.largestMessage = qMax(pass.largestMessage, stored.size());
    }
    for (const QFileInfo& stored : QDir(folder).entryInfoList(QDir::Files))
        QFile::remove(stored.absoluteFilePath());
    return pass;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const qint64 limit = argc > 2 ? QByteArray(argv[2]).toLongLong() : 20000000;
    const int rounds = argc > 3 ? QByteArray(argv[3]).toInt() : 1;
    if (mebibytes <= 0 || limit <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: bench_mailparts [MiB] [limit in bytes] [rounds]\n");
        return 2;
    }
    try {
        TestEnvironment env;
        SmtpSink::Options limited;
        limited.sizeLimit = limit;
        const QString partsFolder = env.path(QStringLiteral("parts-sink/"));
        SmtpSink partsSink(QStringLiteral(KESTREL_TEST_SCRIPTS), partsFolder, limited);
        SmtpSink::Options unlimited;
        unlimited.sizeLimit = 0;
        const QString wholeFolder = env.path(QStringLiteral("whole-sink/"));
        SmtpSink wholeSink(QStringLiteral(KESTREL_TEST_SCRIPTS), wholeFolder, unlimited);
        if (partsSink.port() == 0 || wholeSink.port() == 0)
            qFatal("SMTP sink: %s%s", qPrintable(partsSink.errorText()),
                   qPrintable(wholeSink.errorText()));
        pointSettingsAt(partsSink, QString::fromLatin1(ZipPassword));
        QDir().mkpath(TQuayRegistryObject().ReadZipDirectory());

        const QString source = makeSource(env, mebibytes);
        QElapsedTimer zipTimer;
        zipTimer.start();
        const QString archive = makeArchive(source);
        QFile::remove(source);
        std::printf("archive %lld bytes, packed in %.1f s; peak resident set %ld KiB\n",
                    QFileInfo(archive).size(), zipTimer.elapsed() / 1000.0, peakResidentKiB());
        std::fflush(stdout);
        for (int round = 1; round <= rounds; ++round) {
            const Pass parts = send(partsSink, partsFolder, archive, limit);
            std::printf("round %d parts:       %7.1f s (CPU %.1f s), %d messages, largest %lld "
                        "bytes (limit %lld), %lld bytes beside the archive; peak resident set "
                        "%ld KiB\n",
                        round, parts.seconds, parts.cpuSeconds, parts.messages,
                        parts.largestMessage, limit, parts.besideArchive, peakResidentKiB());
            std::fflush(stdout);
            const Pass whole = send(wholeSink, wholeFolder, archive, 0);
            std::printf("round %d one message: %7.1f s (CPU %.1f s), %d message of %lld bytes; "
                        "peak resident set %ld KiB; parts/whole %.3f\n",
                        round, whole.seconds, whole.cpuSeconds, whole.messages,
                        whole.largestMessage, peakResidentKiB(), parts.seconds / whole.seconds);
            std::fflush(stdout);
        }
    } catch (const KestrelError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
