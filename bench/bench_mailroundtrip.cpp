// Backing up and restoring a small tree through a stock Postfix and dovecot on
// 127.0.0.1 (submission with STARTTLS, log-in through dovecot, a 200,000-byte size
// limit, parallel delivery over LMTP), side by side in one run with the same files
// packed by `7zz -tzip -mx=9 -mem=AES256` (split into volumes that fit), mailed by
// `curl` as MIME messages and fetched back by `curl`.
//
// Usage: bench_mailroundtrip [rounds]   (run as root: Postfix starts only as root)
// Each figure counts until the mail is in the mailbox: Postfix's queue empty and
// dovecot holding every message.

#include "core/CertificateFingerprint.h"
#include "core/Clock.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "restore/MailboxCatalog.h"
#include "restore/MailboxConnection.h"
#include "restore/MailboxRestore.h"
#include "restore/RestoreProgress.h"
#include "sequence/BackUpSequence.h"
#include "sequence/MailSequenceTransport.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "sequence/SequenceWorkerThread.h"
#include "support/DovecotServer.h"
#include "support/PostfixServer.h"
#include "support/RecordingSequenceWindow.h"
#include "support/TestCertificate.h"
#include "support/TestEnvironment.h"
#include "transport/ImapMailboxReader.h"
#include "transport/ServerCertificateTrust.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

constexpr auto ZipPassword = "benchmark; password";
constexpr qint64 SizeLimit = 200000;

// The pause after each file as designed, or cut to nothing.
class BenchClock : public SystemClock
{
public:
    bool pauses = true;
    void waitPumping(int milliseconds) override
    {
        SystemClock::waitPumping(
            !pauses && milliseconds == MailSequenceTransport::PauseAfterFileMs ? 0 : milliseconds);
    }
};

class SilentProgress : public RestoreProgress
{
public:
    void status(const QString&) override {}
    void progress(qint64, qint64) override {}
};

QByteArray noise(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return bytes;
}

QByteArray text(int size)
{
    const QByteArray line = "Backup sequence log line with a path /home/user/report.doc;\n";
    return line.repeated(size / line.size() + 1).left(size);
}

void run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
}

struct Bench
{
    TestEnvironment env;
    BenchClock clock;
    ScopedServices services{{&env.prompt, &clock, &env.autostart, &env.powerOff, &env.dialUp,
                             &env.notifications, &env.fileManagerMenu, &env.secretStore}};
    QString certificate, key;
    std::unique_ptr<DovecotServer> dovecot;
    std::unique_ptr<PostfixServer> postfix;
    QStringList files;

    Bench()
    {
        QDir().mkpath(env.path("tls"));
        if (!TestCertificate::make(env.path("tls"), "mail", TestCertificate::Kind::ForLoopback,
                                   &certificate, &key))
            qFatal("no certificate");
        DovecotServer::Options imap;
        imap.forMailServer = true;
        dovecot = std::make_unique<DovecotServer>(env.path("dovecot"), imap);
        PostfixServer::Options smtp;
        smtp.lmtpPort = dovecot->lmtpPort();
        smtp.authPort = dovecot->authPort();
        smtp.certificateFile = certificate;
        smtp.keyFile = key;
        smtp.sizeLimit = SizeLimit;
        postfix = std::make_unique<PostfixServer>(env.path("postfix"), smtp);
        if (dovecot->port() == 0 || postfix->port() == 0)
            qFatal("servers: %s %s", qPrintable(dovecot->errorText()),
                   qPrintable(postfix->errorText()));
        const TQuayRegistryObject store;
        store.WriteUserSMPTName("localhost");
        store.WriteUserConnectionPort(postfix->port());
        store.WriteUserSMPTServerName(dovecot->options().user);
        store.WriteUserSMPTServerPassword(dovecot->options().password);
        store.WriteUserBackUpEmailAddress(dovecot->options().user + "@example.test");
        store.WriteUserZipPassword(ZipPassword);
        store.WriteMaxNumberOfBytesToBackedUp(1e15);
        dovecot->storeReaderSettings();
        const QSslCertificate server = QSslCertificate::fromPath(certificate).constFirst();
        ServerCertificateTrust::trust("localhost", postfix->port(),
                                      server.digest(QCryptographicHash::Sha256),
                                      TrustedServer::Smtp);

        // The round trip's tree: small files of text, and one of random bytes that
        // needs three parts or more.
        for (int i = 0; i < 20; ++i)
            files << env.writeFile(QStringLiteral("tree/file %1;.txt").arg(i), text(20000 + i));
        files << env.writeFile("tree/big.bin", noise(3 * SizeLimit));
        QFile list(store.ReadFileOfFiles());
        if (!list.open(QIODevice::WriteOnly))
            qFatal("no list");
        for (const QString& file : std::as_const(files))
            list.write(file.toUtf8() + "\r\n");
    }

    void waitForDelivery(int expected)
    {
        QElapsedTimer waited;
        waited.start();
        while (!postfix->queueEmpty() || dovecot->messageCount() < expected) {
            if (waited.elapsed() > 300000)
                qFatal("mail not delivered: %d of %d", dovecot->messageCount(), expected);
            QThread::msleep(20);
        }
    }

    // A Full backup by the sequence, until every note is in the mailbox.
    double backUp(bool pauses)
    {
        clock.pauses = pauses;
        const int before = dovecot->messageCount();
        QElapsedTimer timer;
        timer.start();
        RecordingSequenceWindow window;
        window.type = SequenceChoices::BackUpType::Full;
        SequenceState state;
        SequenceCompletion completion(window, state);
        BackUpSequence sequence(window, completion);
        sequence.RunBackUpSequence();
        if (!TQuayRegistryObject().ReadBackUpSequenceSuccess())
            qFatal("the sequence failed:\n%s", qPrintable(window.history.join(u'\n')));
        // Every file once (the big one in parts) and the log: at least files + 1.
        waitForDelivery(before + static_cast<int>(files.size()) + 1);
        QThread::msleep(200);
        waitForDelivery(dovecot->messageCount());
        return timer.elapsed() / 1000.0;
    }

    // Listing the mailbox and restoring the latest version of every file of the tree.
    double restore(const QString& target)
    {
        QElapsedTimer timer;
        timer.start();
        ImapMailboxReader reader(dovecot->readerSettings());
        SilentProgress progress;
        const MailboxReader::MailboxState state = openMailbox(reader, {});
        MailboxCatalog catalog(env.path("cache-" + target.section('/', -1)));
        catalog.refresh(reader, state, reader.mailboxKey(), progress);
        QList<SavedVersion> latest;
        for (const SavedFile& file : catalog.matching(env.path("tree/*")))
            latest << file.versions.constFirst();
        MailboxRestore restore(reader, target, QString::fromLatin1(ZipPassword));
        const MailboxRestore::Summary summary = restore.restore(latest, progress);
        reader.close();
        if (summary.restored != files.size())
            qFatal("restore: %s", qPrintable(summary.text()));
        return timer.elapsed() / 1000.0;
    }

    // The same files packed by 7-Zip (volumes that fit the limit) and mailed by curl,
    // one connection per archive, until they are in the mailbox.
    double curlBackUp(const QString& folder)
    {
        QDir().mkpath(folder);
        const int before = dovecot->messageCount();
        QElapsedTimer timer;
        timer.start();
        int sent = 0;
        for (int i = 0; i < files.size(); ++i) {
            const QString archive = folder + QStringLiteral("/%1.zip").arg(i);
            run("7zz", {"a", "-bd", "-tzip", "-mx=9", "-mem=AES256",
                        QStringLiteral("-p") + ZipPassword, "-v140k", archive, files.at(i)});
            QStringList volumes = QDir(folder).entryList({QStringLiteral("%1.zip*").arg(i)});
            for (const QString& volume : volumes) {
                run("curl", {"-sS", "--ssl-reqd", "-k", "--url",
                             QStringLiteral("smtp://127.0.0.1:%1").arg(postfix->port()), "--user",
                             dovecot->options().user + ':' + dovecot->options().password,
                             "--mail-from", "ann@localhost", "--mail-rcpt", "ann@example.test",
                             "-H", "Subject: curl " + volume, "-F",
                             "=@" + folder + '/' + volume + ";encoder=base64"});
                ++sent;
            }
        }
        waitForDelivery(before + sent);
        return timer.elapsed() / 1000.0;
    }

    // curl fetching every message of the mailbox over one connection.
    double curlFetch(const QString& folder)
    {
        QDir().mkpath(folder);
        QElapsedTimer timer;
        timer.start();
        run("curl", {"-sS", "--user", dovecot->options().user + ':' + dovecot->options().password,
                     QStringLiteral("imap://127.0.0.1:%1/INBOX;UID=[1-%2]")
                         .arg(dovecot->port())
                         .arg(dovecot->messageCount()),
                     "-o", folder + "/#1.eml"});
        return timer.elapsed() / 1000.0;
    }
};

// Of the sets mailed in parts, how many the mailbox holds out of order: a part with a
// lower UID than the part before it. The messages as curl stored them, <uid>.eml.
QPair<int, int> setsOutOfOrder(const QString& folder)
{
    static const QRegularExpression messageId(
        QStringLiteral("Message-ID: <([0-9a-f]{32})\\.(\\d+)\\.(\\d+)@"),
        QRegularExpression::CaseInsensitiveOption);
    QMap<QString, QList<QPair<int, int>>> parts; // set: (uid, part)
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.eml")})) {
        QFile message(folder + '/' + name);
        if (!message.open(QIODevice::ReadOnly))
            continue;
        const QRegularExpressionMatch match =
            messageId.match(QString::fromLatin1(message.read(8192)));
        if (match.hasMatch() && match.captured(3).toInt() > 1)
            parts[match.captured(1)].append(
                {name.section('.', 0, 0).toInt(), match.captured(2).toInt()});
    }
    int outOfOrder = 0;
    for (QList<QPair<int, int>>& set : parts) {
        std::sort(set.begin(), set.end());
        for (qsizetype i = 1; i < set.size(); ++i) {
            if (set.at(i).second < set.at(i - 1).second) {
                ++outOfOrder;
                break;
            }
        }
    }
    return {outOfOrder, static_cast<int>(parts.size())};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!PostfixServer::available() || !DovecotServer::available()) {
        std::fprintf(stderr, "needs Postfix and dovecot, and root\n");
        return 2;
    }
    const int rounds = argc > 1 ? QByteArray(argv[1]).toInt() : 3;
    Bench bench;
    for (int round = 1; round <= rounds; ++round) {
        const double cut = bench.backUp(false);
        const double restored = bench.restore(bench.env.path(QStringLiteral("r%1").arg(round)));
        const double paused = bench.backUp(true);
        const double curlSent = bench.curlBackUp(bench.env.path(QStringLiteral("c%1").arg(round)));
        const double curlFetched =
            bench.curlFetch(bench.env.path(QStringLiteral("f%1").arg(round)));
        const auto [outOfOrder, sets] =
            setsOutOfOrder(bench.env.path(QStringLiteral("f%1").arg(round)));
        std::printf("round %d: backup %.2f s (pause cut), %.2f s (designed pause); "
                    "restore %.2f s; 7zz+curl send %.2f s; curl fetch of all %d messages %.2f s; "
                    "%d of %d sets in parts delivered out of order\n",
                    round, cut, paused, restored, curlSent, bench.dovecot->messageCount(),
                    curlFetched, outOfOrder, sets);
        std::fflush(stdout);
    }
    return 0;
}
