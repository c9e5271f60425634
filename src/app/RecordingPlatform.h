#pragma once

#include "core/PlatformServices.h"
#include "core/SecretStore.h"

#include <QMap>

#include <QStringList>

// Recording fakes of the platform services. Every call is kept in calls() and, when
// the environment names a file in KESTREL_FAKE_PLATFORM_LOG, appended to it as one
// line, so a test can watch a real executable that runs with the fakes.
class RecordingLog
{
public:
    void record(const QString& call);
    const QStringList& calls() const { return m_calls; }

private:
    QStringList m_calls;
};

class RecordingAutostart : public AutostartService, public RecordingLog
{
public:
    bool isPresent() override;
    void write(bool present) override;
    bool present = false;
};

class RecordingPowerOff : public PowerOffService, public RecordingLog
{
public:
    QString powerOff() override;
    QString result; // what powerOff() answers
};

class RecordingDialUp : public DialUpService, public RecordingLog
{
public:
    bool dial() override;
    bool attemptConnect() override;
    void hangUp() override;
    bool dialResult = true;
    bool attemptResult = true;
};

class RecordingNotifications : public DesktopNotificationService, public RecordingLog
{
public:
    // Recorded as: notify "<summary>" "<body>"
    void notify(const QString& summary, const QString& body) override;
};

class RecordingFileManagerMenu : public FileManagerMenuService, public RecordingLog
{
public:
    bool registerMenu(const EditionProfile& profile) override;
    bool removeMenu(const EditionProfile& profile) override;
    bool helperPresent = true; // whether a helper is in the shell-extension folder
    bool registered = false;   // whether the action files are there
};

// Recorded as "schedule apply <text>" and "schedule remove". With available false it
// stands for a desktop without a systemd user instance.
class RecordingSchedule : public ScheduleService, public RecordingLog
{
public:
    bool available() override;
    void apply(const BackUpSchedule& schedule) override;
    void remove() override;
    std::optional<QDateTime> nextRun() override;

    bool isAvailable = true;
    // What nextRun() answers, as if a timer were installed.
    QDateTime next = QDateTime(QDate(2030, 1, 7), QTime(7, 30));
};

// A keyring in memory. Calls are recorded as "secret read <key>" (never a value).
// With the default answer Unanswered it stands for a machine without a keyring.
class RecordingSecretStore : public SecretStore, public RecordingLog
{
public:
    Outcome availability(const Item& probe) override;
    Reading read(const Item& item) override;
    Outcome write(const Item& item, const QString& value) override;
    Outcome remove(const Item& item) override;

    Outcome answer = Outcome::Unanswered; // what availability() and every call answer
    Outcome writeAnswer = Outcome::Done;  // what writes answer while the keyring is open
    QMap<QString, QString> items;         // value by key
    QMap<QString, QString> labels;        // label by key
};
