#pragma once

#include "app/RecordingPlatform.h"
#include "core/Services.h"
#include "support/ManualClock.h"
#include "support/ScriptedPrompt.h"

#include <QTemporaryDir>

#include <memory>

// One test's private world: HOME and the XDG folders point into a fresh temporary
// folder (so the settings database, program folder and autostart folder are new),
// the application name selects the edition, and the prompt, clock, platform services
// and keyring are scripted or recording fakes, so no test reaches the desktop's keyring. Everything
// goes back on destruction.
class TestEnvironment
{
public:
    explicit TestEnvironment(const QString& edition = QStringLiteral("KestrelSolo"));
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString root() const { return m_dir.path(); }
    // A path below the temporary root; parent folders are created.
    QString path(const QString& relative) const;
    // Writes a file below the root and returns its path.
    QString writeFile(const QString& relative, const QByteArray& content) const;

    ScriptedPrompt prompt;
    ManualClock clock;
    RecordingAutostart autostart;
    RecordingPowerOff powerOff;
    RecordingDialUp dialUp;
    RecordingNotifications notifications;
    RecordingFileManagerMenu fileManagerMenu;
    // No keyring answers until a test opens this one (answer = Done).
    RecordingSecretStore secretStore;
    RecordingSchedule schedule;

private:
    QTemporaryDir m_dir;
    QString m_previousName;
    QList<QPair<QByteArray, QByteArray>> m_previousEnv;
    std::unique_ptr<ScopedServices> m_services;
};
