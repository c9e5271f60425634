// Listing and restoring from a mailbox over IMAP, against a real dovecot on 127.0.0.1,
// side by side with curl fetching the same messages in the same run.
//
// Usage: bench_mailboxrestore many   1,000 small files mailed by a sequence, the notes
//                                     copied to 10,000 in the mailbox; listing them
//                                     (first time, second time from the catalog);
//                                     restoring the 1,000 files; curl for each.
//        bench_mailboxrestore big    one 1 GiB file mailed in parts; restoring it, and the
//                                     peak memory of `kestrelsolo --restore` doing the same.
// Run from bench/mailboxrestore.sh, which prints the figures for docs/performance.md.

#include "SequenceBench.h"
#include "core/Clock.h"
#include "core/QuayRegistryObject.h"
#include "restore/MailboxCatalog.h"
#include "restore/MailboxConnection.h"
#include "restore/MailboxRestore.h"
#include "restore/RestoreProgress.h"
#include "sequence/BackUpSequence.h"
#include "sequence/MailSequenceTransport.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/DovecotServer.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "transport/ImapMailboxReader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QUrl>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr auto ZipPassword = "benchmark password";

long peakResidentKiB()
{
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class BenchClock : public SystemClock
{
public:
    void waitPumping(int milliseconds) override
    {
        SystemClock::waitPumping(
            milliseconds == MailSequenceTransport::PauseAfterFileMs ? 0 : milliseconds);
    }
};

class SilentProgress : public RestoreProgress
{
public:
    void status(const QString&) override {}
    void progress(qint64, qint64) override {}
};

struct Bench
{
    TestEnvironment env;
    BenchClock clock;
    ScopedServices services{{&env.prompt, &clock, &env.autostart, &env.powerOff, &env.dialUp,
                             &env.notifications, &env.fileManagerMenu, &env.secretStore}};
    SmtpSink sink;
    DovecotServer dovecot{env.path(QStringLiteral("dovecot")), {}};

    explicit Bench(qint64 sizeLimit)
        : sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")),
               [sizeLimit] {
                   SmtpSink::Options options;
                   options.sizeLimit = sizeLimit;
                   return options;
               }())
    {
        if (sink.port() == 0 || dovecot.port() == 0)
            qFatal("servers: %s %s", qPrintable(sink.errorText()), qPrintable(dovecot.errorText()));
        pointSettingsAt(sink, QString::fromLatin1(ZipPassword));
        const TQuayRegistryObject store;
        store.WriteMaxNumberOfBytesToBackedUp(1e15);
        store.WriteMaxMessageBytes(static_cast<double>(sizeLimit));
        store.WriteMaxMessagesPerSequence(1000000);
    }

    void backUp(const QStringList& files, const QStringList& folders)
    {
        const TQuayRegistryObject store;
        writeLines(store.ReadFileOfFiles(), files);
        writeLines(store.ReadFileOfDirectories(), folders);
        PhaseWindow window;
        SequenceState state;
        SequenceCompletion completion(window, state);
        BackUpSequence sequence(window, completion);
        sequence.RunBackUpSequence();
        if (!store.ReadBackUpSequenceSuccess())
            qFatal("the sequence failed:\n%s", qPrintable(window.history.join(u'\n')));
    }

    ImapMailboxReader::Settings imap() const { return dovecot.readerSettings(); }

    double list(MailboxCatalog& catalog, MailboxCatalog::Refresh* refresh)
    {
        QElapsedTimer timer;
        timer.start();
        ImapMailboxReader reader(imap());
        SilentProgress progress;
        const MailboxReader::MailboxState state = openMailbox(reader, {});
        *refresh = catalog.refresh(reader, state, reader.mailboxKey(), progress);
        reader.close();
        return timer.elapsed() / 1000.0;
    }

    // The floor of any listing: logging in and opening the mailbox.
    double searchOnly()
    {
        QElapsedTimer timer;
        timer.start();
        ImapMailboxReader reader(imap());
        openMailbox(reader, {});
        reader.close();
        return timer.elapsed() / 1000.0;
    }

    // The attachments alone, downloaded into memory over one session: the part of a
    // restore that is the IMAP client's.
    double fetchOnly(const QList<SavedVersion>& versions)
    {
        QElapsedTimer timer;
        timer.start();
        ImapMailboxReader reader(imap());
        openMailbox(reader, {});
        for (const SavedVersion& version : versions) {
            for (const MailboxNote& note : version.parts) {
                QBuffer attachment;
                attachment.open(QIODevice::WriteOnly);
                reader.fetchAttachment(note, attachment);
            }
        }
        reader.close();
        return timer.elapsed() / 1000.0;
    }

    double restore(const QList<SavedVersion>& versions, const QString& target, int* restored)
    {
        QElapsedTimer timer;
        timer.start();
        ImapMailboxReader reader(imap());
        openMailbox(reader, {});
        MailboxRestore restore(reader, target, QString::fromLatin1(ZipPassword));
        SilentProgress progress;
        const MailboxRestore::Summary summary = restore.restore(versions, progress);
        reader.close();
        *restored = summary.restored;
        if (summary.failed > 0)
            qFatal("restore: %s", qPrintable(summary.text()));
        return timer.elapsed() / 1000.0;
    }

    // curl fetching by UID over one connection, into a file each: whole messages, or
    // with a section only that part ("HEADER.FIELDS (SUBJECT DATE)").
    double curl(const QString& uidRange, const QString& folder, const QString& section = {})
    {
        QDir().mkpath(folder);
        QString url =
            QStringLiteral("imap://127.0.0.1:%1/INBOX;UID=[%2]").arg(dovecot.port()).arg(uidRange);
        if (!section.isEmpty())
            url += QStringLiteral("/;SECTION=") +
                   QString::fromLatin1(QUrl::toPercentEncoding(section));
        const QStringList arguments{QStringLiteral("-sS"),
                                    QStringLiteral("--user"),
                                    dovecot.options().user + u':' + dovecot.options().password,
                                    url,
                                    QStringLiteral("-o"),
                                    folder + QStringLiteral("/#1.eml")};
        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.start(QStringLiteral("curl"), arguments);
        if (!process.waitForFinished(3600 * 1000) || process.exitCode() != 0)
            qFatal("curl %s failed with %d: %s", qPrintable(url), process.exitCode(),
                   process.readAllStandardError().constData());
        return timer.elapsed() / 1000.0;
    }
};

// The save notes of the sink, delivered copies times; each copy's subjects name
// other paths, as the notes of more files would.
int deliverCopies(Bench& bench, int copies)
{
    int delivered = 0;
    for (int copy = 0; copy < copies; ++copy) {
        for (int number = 1; QFile::exists(bench.sink.messagePath(number)); ++number) {
            QFile file(bench.sink.messagePath(number));
            file.open(QIODevice::ReadOnly);
            QByteArray message = file.readAll();
            if (copy > 0)
                message.replace("/data/", "/data" + QByteArray::number(copy) + "/");
            bench.dovecot.deliver(message);
            ++delivered;
        }
    }
    return delivered;
}

int many()
{
    Bench bench(20000000);
    QByteArray content;
    while (content.size() < 1000)
        content += "A line of a small document that a sequence mails.\n";
    for (int i = 0; i < 1000; ++i)
        bench.env.writeFile(QStringLiteral("data/note%1.txt").arg(i, 4, 10, QLatin1Char('0')),
                            content + QByteArray::number(i));
    bench.backUp({}, {bench.env.path(QStringLiteral("data"))});
    const int notes = deliverCopies(bench, 10);

    MailboxCatalog catalog(bench.env.path(QStringLiteral("cache")));
    MailboxCatalog::Refresh first;
    const double firstSeconds = bench.list(catalog, &first);
    MailboxCatalog again(bench.env.path(QStringLiteral("cache")));
    MailboxCatalog::Refresh second;
    const double secondSeconds = bench.list(again, &second);
    const double curlList =
        bench.curl(QStringLiteral("1-%1").arg(notes), bench.env.path(QStringLiteral("curl-list")),
                   QStringLiteral("HEADER.FIELDS (SUBJECT DATE)"));
    const double searchSeconds = bench.searchOnly();
    std::printf("listing %d notes: first %.2f s (%d read), second %.2f s (%d read, %d from "
                "the catalog; logging in and opening the mailbox alone %.2f s), curl fetching "
                "the same headers "
                "%.2f s\n",
                notes, firstSeconds, first.notesRead, secondSeconds, second.notesRead,
                second.notesFromCache, searchSeconds, curlList);

    QList<SavedVersion> versions;
    for (const SavedFile& file : catalog.matching(bench.env.path(QStringLiteral("data/note*"))))
        versions << file.versions.first();
    int restored = 0;
    const double restoreSeconds =
        bench.restore(versions, bench.env.path(QStringLiteral("restored")), &restored);
    const double fetchSeconds = bench.fetchOnly(versions);
    const double curlFetch =
        bench.curl(QStringLiteral("1-1000"), bench.env.path(QStringLiteral("curl-fetch")));
    std::printf("restoring %d small files: %.2f s (their attachments fetched alone: %.2f s); "
                "curl fetching their 1,000 messages: %.2f s\n",
                restored, restoreSeconds, fetchSeconds, curlFetch);
    std::printf("peak resident size: %ld KiB\n", peakResidentKiB());
    return 0;
}

int big()
{
    constexpr qint64 partLimit = 50 * 1000 * 1000;
    Bench bench(partLimit);
    const QString source = bench.env.path(QStringLiteral("data/big.bin"));
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        const QByteArray line = "Backup sequence log line with a path /home/user/report.doc;\r\n";
        for (int i = 0; i < 1024; ++i) {
            if (i % 2 == 0) {
                for (char& byte : block)
                    byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
            } else {
                block = line.repeated(1024 * 1024 / line.size() + 1).left(1024 * 1024);
            }
            file.write(block);
        }
    }
    bench.backUp({source}, {});
    const int notes = deliverCopies(bench, 1);

    MailboxCatalog catalog(bench.env.path(QStringLiteral("cache")));
    MailboxCatalog::Refresh refresh;
    bench.list(catalog, &refresh);
    const QList<SavedFile> files = catalog.matching(source);
    if (files.size() != 1)
        qFatal("the big file is not listed");
    const SavedVersion version = files.first().versions.first();
    int restored = 0;
    const double seconds =
        bench.restore({version}, bench.env.path(QStringLiteral("restored")), &restored);
    const double curlSeconds = bench.curl(QStringLiteral("1-%1").arg(version.partCount),
                                          bench.env.path(QStringLiteral("curl-fetch")));
    const double curlPartSeconds = bench.curl(
        QStringLiteral("1-%1").arg(version.partCount), bench.env.path(QStringLiteral("curl-parts")),
        QString::fromLatin1(version.parts.constFirst().attachmentSection));
    std::printf("restoring one 1 GiB file in %d parts (%d notes): %.2f s (%.1f MB/s of the "
                "file); curl fetching its %d messages: %.2f s, their attachments alone: %.2f s\n",
                version.partCount, notes, seconds, 1073741824 / 1e6 / seconds, version.partCount,
                curlSeconds, curlPartSeconds);

    // The same restore as a process of its own, the program without a window, so that
    // its peak memory is the restore's alone.
    bench.dovecot.storeReaderSettings();
    QProcess program;
    program.start(
        QStringLiteral("/usr/bin/time"),
        {QStringLiteral("-f"), QStringLiteral("peak %M KiB, %e s, %U s user, %S s system"),
         QCoreApplication::applicationDirPath() + QStringLiteral("/../src/app/kestrelsolo"),
         QStringLiteral("--restore"), source, QStringLiteral("--to"),
         bench.env.path(QStringLiteral("restored-by-the-program"))});
    if (!program.waitForFinished(3600 * 1000) || program.exitCode() != 0)
        qFatal("kestrelsolo --restore failed: %s", program.readAllStandardError().constData());
    const QList<QByteArray> lines = program.readAllStandardError().trimmed().split('\n');
    std::printf("kestrelsolo --restore of the same file: %s\n", lines.constLast().constData());
    return restored == 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "many")
        return many();
    if (mode == "big")
        return big();
    std::fprintf(stderr, "usage: bench_mailboxrestore many|big\n");
    return 2;
}
