#pragma once

#include "backupdata/BackUpLogReader.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/QuayRegistryObject.h"
#include "sequence/BackUpSequence.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/LoggedPaths.h"
#include "support/LoopbackMailSettings.h"
#include "support/RecordingSequenceWindow.h"
#include "support/ScriptedSmtpServer.h"
#include "support/TestEnvironment.h"
#include "transport/WrenSMPTObject.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

// A clock that runs a hook at the first pause after a mailed file, the moment in
// which the user's Cancel (or a second start) arrives in these tests.
class PauseHookClock : public ManualClock
{
public:
    void waitPumping(int milliseconds) override
    {
        if (milliseconds == MailSequenceTransport::PauseAfterFileMs && onPause) {
            const std::function<void()> hook = std::exchange(onPause, {});
            hook();
        }
        ManualClock::waitPumping(milliseconds);
    }
    std::function<void()> onPause;
};

// One test's world for whole sequences: temporary home, a scripted SMTP server on
// loopback, settings that point at it, and the window fake.
struct SequenceFixture
{
    TestEnvironment env;
    PauseHookClock clock;
    ScopedServices services{{&env.prompt, &clock, &env.autostart, &env.powerOff, &env.dialUp,
                             &env.notifications, &env.fileManagerMenu, &env.secretStore,
                             &env.schedule}};
    ScriptedSmtpServer server;
    RecordingSequenceWindow window;
    SequenceState state;
    SequenceCompletion completion{window, state};
    BackUpSequence sequence{window, completion};
    int replyTimeoutMs = 5000;

    SequenceFixture()
    {
        storeLoopbackMailSettings(server.port());
        sequence.setSessionSetup([this](TWrenSMPTObject& sender) {
            sender.session().setConnectTimeoutMs(5000);
            sender.session().setReplyTimeoutMs(replyTimeoutMs);
        });
    }

    QString dataFile(const QString& relative, const QByteArray& content) const
    {
        return env.writeFile(QStringLiteral("data/") + relative, content);
    }
    // Content that does not compress, so archive sizes follow file sizes.
    static QByteArray noise(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& byte : bytes)
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        return bytes;
    }
    static void writeList(const QString& path, const QStringList& entries)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const QString& entry : entries)
            file.write(entry.toUtf8() + "\r\n");
    }
    void listFiles(const QStringList& files) const
    {
        writeList(TQuayRegistryObject().ReadFileOfFiles(), files);
    }
    void listFolders(const QStringList& folders) const
    {
        writeList(TQuayRegistryObject().ReadFileOfDirectories(), folders);
    }

    // The subjects of the messages the server took, in order.
    QStringList subjects() const
    {
        QStringList result;
        for (const QByteArray& message : server.messages()) {
            QByteArray header = message.left(message.indexOf("\r\n\r\n"));
            header.replace("\r\n ", " ").replace("\r\n\t", "\t");
            for (const QByteArray& line : header.split('\n')) {
                if (line.startsWith("Subject: "))
                    result << QString::fromUtf8(line.mid(9).trimmed());
            }
        }
        return result;
    }
    // The path each subject names.
    QStringList mailedPaths() const
    {
        QStringList paths;
        for (const QString& subject : subjects())
            paths << subject.section(QLatin1Char('#'), 2);
        return paths;
    }
    static QStringList loggedPaths() { return ::loggedPaths(); }
    int pauses() const
    {
        return static_cast<int>(clock.waits().count(MailSequenceTransport::PauseAfterFileMs));
    }
    static QStringList statusFiles()
    {
        return QDir(TQuayRegistryObject().ReadQuayDirectory() + QStringLiteral("/Status Files"))
            .entryList(QDir::Files, QDir::Name);
    }
    static QStringList zipFolderEntries()
    {
        return QDir(TQuayRegistryObject().ReadZipDirectory()).entryList(QDir::Files);
    }
};
