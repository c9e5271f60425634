// How many due files a mail sequence gets through per second. Whole sequences run
// against a real SMTP server on 127.0.0.1 (tests/scripts/smtp_sink.py, aiosmtpd), with
// an empty backup log so every file is due:
//
// - unpaced: the 2000 ms pause after each mailed file is cut to an event pump, so
//   the program's own work (zip with AES, message, session, log record, settings)
//   sets the pace;
// - paced: the pause as the program makes it, on a few files.
//
// For comparison, in the same run: the files only zipped as a sequence zips them; one
// archive sent again and again over one session by the session class alone (the
// server's own pace with the least work on our side); and both together.
//
// Usage: bench_mailthroughput [files] [paced files]   (defaults 1000 and 10)
// Everything lives in temporary folders that are removed at the end.

#include "SequenceBench.h"
#include "backupdata/TernFileObject.h"
#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "sequence/BackUpSequence.h"
#include "sequence/MailSequenceTransport.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/RecordingSequenceWindow.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "transport/IdMessage.h"
#include "transport/IdSMTP.h"
#include "transport/ZipMaster.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

// The real clock, except that the pause after a mailed file can be cut to a pump of
// pending events.
class BenchClock : public SystemClock
{
public:
    void waitPumping(int milliseconds) override
    {
        if (milliseconds == MailSequenceTransport::PauseAfterFileMs) {
            ++pauses;
            if (skipPause)
                milliseconds = 0;
        }
        SystemClock::waitPumping(milliseconds);
    }
    bool skipPause = true;
    int pauses = 0;
};

constexpr auto ZipPassword = "benchmark password";

// count small text files of about 1 KB below the environment's root.
QString makeFiles(const TestEnvironment& env, int count)
{
    QByteArray content;
    while (content.size() < 1000)
        content += "A line of a small document that a sequence mails.\n";
    for (int i = 0; i < count; ++i)
        env.writeFile(QStringLiteral("data/note%1.txt").arg(i, 5, 10, QLatin1Char('0')),
                      content + QByteArray::number(i));
    return env.path(QStringLiteral("data"));
}

struct SequenceFigures
{
    int mailed = 0;
    int pauses = 0;
    double walkSeconds = 0;
    double logMailSeconds = 0;
};

SequenceFigures runSequence(int count, bool skipPause)
{
    TestEnvironment env;
    BenchClock clock;
    clock.skipPause = skipPause;
    const ScopedServices services({&env.prompt, &clock, &env.autostart, &env.powerOff, &env.dialUp,
                                   &env.notifications, &env.fileManagerMenu, &env.secretStore});
    SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")), {});
    if (sink.port() == 0)
        qFatal("SMTP sink: %s", qPrintable(sink.errorText()));
    pointSettingsAt(sink, QString::fromLatin1(ZipPassword));
    const TQuayRegistryObject store;
    writeLines(store.ReadFileOfFiles(), {});
    writeLines(store.ReadFileOfDirectories(), {makeFiles(env, count)});

    PhaseWindow window;
    SequenceState state;
    SequenceCompletion completion(window, state);
    BackUpSequence sequence(window, completion);
    window.timer.start();
    sequence.RunBackUpSequence();
    const qint64 totalMs = window.timer.elapsed();

    SequenceFigures figures;
    while (QFile::exists(sink.messagePath(figures.mailed + 1)))
        ++figures.mailed;
    figures.pauses = clock.pauses;
    if (!store.ReadBackUpSequenceSuccess() || figures.mailed != count + 1 || window.walkEndMs < 0) {
        std::fprintf(stderr, "the sequence did not run as expected (%d messages):\n%s\n",
                     figures.mailed, qPrintable(window.history.mid(0, 40).join(u'\n')));
        std::exit(1);
    }
    figures.walkSeconds = (window.walkEndMs - window.walkStartMs) / 1000.0;
    figures.logMailSeconds = (totalMs - window.walkEndMs) / 1000.0;
    return figures;
}

QString zipOne(TZipMaster& zip, const QString& source, const QString& zipFolder)
{
    zip.SetZipFileName(
        QDir(zipFolder).filePath(QFileInfo(source).fileName() + QStringLiteral(".zip")));
    zip.FSpecArgs() = QStringList{source};
    zip.AddFiles();
    if (zip.SuccessCount() != 1)
        qFatal("zip failed: %s", qPrintable(zip.LastErrorMessage()));
    return zip.ZipFileName();
}

enum class Pass
{
    ZipOnly,
    ZipAndSend,
    SendOnly
};

// The files zipped as a sequence zips them and (ZipAndSend) mailed over one session by
// the session class alone; or (SendOnly) one archive made beforehand and mailed count
// times, the pace of the server and the session without zipping. Returns the seconds.
double sessionPass(int count, Pass pass)
{
    TestEnvironment env;
    SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")), {});
    if (sink.port() == 0)
        qFatal("SMTP sink: %s", qPrintable(sink.errorText()));
    const QDir data(makeFiles(env, count));
    const QString zipFolder = env.path(QStringLiteral("zips"));
    QDir().mkpath(zipFolder);
    TZipMaster zip;
    zip.SetAddCompLevel(9);
    zip.SetAddOptions(TZipMaster::AddEncrypt);
    zip.SetPassword(QString::fromLatin1(ZipPassword));
    zip.LoadZipEngine();

    TIdSMTP session;
    session.Host = QStringLiteral("127.0.0.1");
    session.Port = sink.port();
    TIdMessage message;
    message.From.setText(QStringLiteral("bench@127.0.0.1"));
    message.Recipients.setText(QStringLiteral("backups@example.org"));

    const bool send = pass != Pass::ZipOnly;
    const QStringList names = data.entryList(QDir::Files, QDir::Name);
    const QString madeBefore =
        pass == Pass::SendOnly ? zipOne(zip, data.filePath(names.first()), zipFolder) : QString();
    QElapsedTimer timer;
    timer.start();
    if (send)
        session.Connect();
    for (const QString& name : names) {
        const QString archive =
            pass == Pass::SendOnly ? madeBefore : zipOne(zip, data.filePath(name), zipFolder);
        if (send) {
            message.Subject = QStringLiteral("KestrelSolo Save#1#") + name;
            message.addAttachment(archive);
            session.Send(message);
            message.clearParts();
        }
        if (pass != Pass::SendOnly)
            QFile::remove(archive);
    }
    if (send)
        session.Disconnect();
    return timer.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int pacedCount = argc > 2 ? QByteArray(argv[2]).toInt() : 10;
    if (count <= 0 || pacedCount <= 0) {
        std::fprintf(stderr, "usage: bench_mailthroughput [files] [paced files]\n");
        return 2;
    }
    try {
        const double zipSeconds = sessionPass(count, Pass::ZipOnly);
        std::printf("zip only             %5d files in %7.3f s = %7.1f files/s\n", count,
                    zipSeconds, count / zipSeconds);
        const double sendSeconds = sessionPass(count, Pass::SendOnly);
        std::printf("session alone        %5d sends in %7.3f s = %7.1f files/s\n", count,
                    sendSeconds, count / sendSeconds);
        const double bothSeconds = sessionPass(count, Pass::ZipAndSend);
        std::printf("zip + session alone  %5d files in %7.3f s = %7.1f files/s\n", count,
                    bothSeconds, count / bothSeconds);

        const SequenceFigures unpaced = runSequence(count, true);
        std::printf("sequence, no pause   %5d files in %7.3f s = %7.1f files/s "
                    "(%d pauses cut; log mail %.3f s)\n",
                    count, unpaced.walkSeconds, count / unpaced.walkSeconds, unpaced.pauses,
                    unpaced.logMailSeconds);
        const SequenceFigures paced = runSequence(pacedCount, false);
        std::printf("sequence, 2 s pause  %5d files in %7.3f s = %7.3f files/s "
                    "(%.3f s per file, %d pauses)\n",
                    pacedCount, paced.walkSeconds, pacedCount / paced.walkSeconds,
                    paced.walkSeconds / pacedCount, paced.pauses);
    } catch (const KestrelError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
