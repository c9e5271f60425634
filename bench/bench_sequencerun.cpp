// One whole mail sequence, headless, in the current HOME and XDG folders: the crash
// test (bench/killtest.sh) starts it again and again in one persistent temporary
// home and kills it at random moments, then checks the backup log against the
// messages the server stored.
//
// Usage: bench_sequencerun <smtp port> [pause cap in ms, default 20]
//
// On its first run it writes the settings (SMTP server 127.0.0.1, a byte limit no
// sequence reaches; the port on every run), makes 40 files of 50-500 KiB under $HOME/data (half of
// them named in the files list, the rest in a folder of the folders list) and writes
// both lists. Every run first moves the files' modification times on, so every file
// is due, then runs the sequence with the pause after each mailed file cut to the
// cap, so a run takes seconds instead of minutes. Prints one line with the outcome;
// the exit status is 0 when the sequence ended as a success.

#include "app/RecordingPlatform.h"
#include "core/Clock.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/BackUpSequence.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/RecordingSequenceWindow.h"
#include "support/ScriptedPrompt.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cstdio>

namespace {

constexpr int FileCount = 40;
constexpr qint64 SmallestFile = 50 * 1024;
constexpr qint64 LargestFile = 500 * 1024;

// The real clock, with every pumped wait cut to a cap: the pause after each mailed
// file is what makes a sequence long, and the crash test needs many sequences.
class ShortPauseClock : public SystemClock
{
public:
    explicit ShortPauseClock(int capMs) : m_capMs(capMs) {}
    void waitPumping(int milliseconds) override
    {
        SystemClock::waitPumping(qMin(milliseconds, m_capMs));
    }

private:
    int m_capMs;
};

QString dataFolder()
{
    return QDir::homePath() + QStringLiteral("/data");
}

QString folderOfFolderList()
{
    return dataFolder() + QStringLiteral("/folder");
}

void writeSettings(int port)
{
    const TQuayRegistryObject store;
    store.WriteUserConnectionPort(port);
    if (!store.ReadUserSMPTName().isEmpty())
        return;
    store.WriteUserSMPTServerName(QStringLiteral("crashtest"));
    store.WriteUserSMPTServerPassword(QStringLiteral("crash test password"));
    store.WriteUserBackUpEmailAddress(QStringLiteral("backups@example.org"));
    store.WriteUserZipPassword(QStringLiteral("Zip pass w0rd"));
    store.WriteMaxNumberOfBytesToBackedUp(1e12);
    // Written last: its presence tells the next run that the settings are complete.
    store.WriteUserSMPTName(QStringLiteral("127.0.0.1"));
}

QByteArray fileContent(QRandomGenerator& random, int index)
{
    const qint64 size = random.bounded(SmallestFile, LargestFile + 1);
    QByteArray content(size, Qt::Uninitialized);
    if (index % 2 == 0) {
        const QByteArray line =
            "Line of a text file that packs well, file " + QByteArray::number(index) + ".\r\n";
        for (qint64 at = 0; at < size; ++at)
            content[at] = line.at(at % line.size());
    } else {
        for (qint64 at = 0; at < size; ++at)
            content[at] = static_cast<char>(random.bounded(256));
    }
    return content;
}

bool writeWhole(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
           file.commit();
}

// Made in a scratch folder that is renamed when complete, so a run killed while
// making them leaves no half set behind for the next run.
bool makeDataFiles()
{
    if (QFileInfo(dataFolder()).isDir())
        return true;
    const QString scratch = dataFolder() + QStringLiteral(".making");
    QDir(scratch).removeRecursively();
    if (!QDir().mkpath(scratch + QStringLiteral("/folder")))
        return false;
    QRandomGenerator random(20261208);
    QByteArray filesList;
    for (int index = 0; index < FileCount; ++index) {
        const bool inFilesList = index < FileCount / 2;
        const QString name =
            QStringLiteral("%1file%2.%3")
                .arg(inFilesList ? QString() : QStringLiteral("folder/"))
                .arg(index, 2, 10, QLatin1Char('0'))
                .arg(index % 2 == 0 ? QStringLiteral("txt") : QStringLiteral("bin"));
        if (!writeWhole(scratch + QLatin1Char('/') + name, fileContent(random, index)))
            return false;
        if (inFilesList)
            filesList += (dataFolder() + QLatin1Char('/') + name).toUtf8() + "\r\n";
    }
    const TQuayRegistryObject store;
    QDir().mkpath(QFileInfo(store.ReadFileOfFiles()).absolutePath());
    if (!writeWhole(store.ReadFileOfFiles(), filesList) ||
        !writeWhole(store.ReadFileOfDirectories(), folderOfFolderList().toUtf8() + "\r\n"))
        return false;
    return QDir().rename(scratch, dataFolder());
}

// Moves every file's modification time past the one the log holds for it: at least
// one second on, so whole-second log dates see the change.
void touchDataFiles()
{
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString& folder : {dataFolder(), folderOfFolderList()}) {
        for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files)) {
            const QDateTime next = qMax(now, info.lastModified().addSecs(1));
            QFile file(info.filePath());
            if (file.open(QIODevice::ReadWrite))
                file.setFileTime(next, QFileDevice::FileModificationTime);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KestrelSolo"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_sequencerun <smtp port> [pause cap in ms]\n");
        return 2;
    }
    const int port = QByteArray(argv[1]).toInt();
    const int capMs = argc > 2 ? QByteArray(argv[2]).toInt() : 20;

    ScriptedPrompt prompt;
    ShortPauseClock clock(capMs);
    RecordingAutostart autostart;
    RecordingPowerOff powerOff;
    RecordingDialUp dialUp;
    RecordingNotifications notifications;
    RecordingFileManagerMenu fileManagerMenu;
    RecordingSecretStore secretStore;
    const ScopedServices services({&prompt, &clock, &autostart, &powerOff, &dialUp, &notifications,
                                   &fileManagerMenu, &secretStore});

    writeSettings(port);
    if (!makeDataFiles()) {
        std::fprintf(stderr, "could not make the data files under %s\n", qPrintable(dataFolder()));
        return 1;
    }
    touchDataFiles();

    RecordingSequenceWindow window;
    SequenceState state;
    SequenceCompletion completion(window, state);
    BackUpSequence sequence(window, completion);
    QElapsedTimer timer;
    timer.start();
    sequence.RunBackUpSequence();
    const bool succeeded = TQuayRegistryObject().ReadBackUpSequenceSuccess();
    qsizetype mailed = 0;
    for (const QString& line : std::as_const(window.history))
        mailed += line.startsWith(QLatin1String("Backed up version of ")) ? 1 : 0;
    std::printf("sequence %s: %lld files mailed in %.2f s\n", succeeded ? "succeeded" : "failed",
                static_cast<long long>(mailed), timer.elapsed() / 1000.0);
    if (!succeeded)
        std::fprintf(stderr, "%s\n", qPrintable(window.history.join(QLatin1Char('\n'))));
    return succeeded ? 0 : 1;
}
