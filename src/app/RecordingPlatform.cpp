#include "app/RecordingPlatform.h"

#include "core/BackUpSchedule.h"
#include "core/EditionProfile.h"

#include <QFile>

void RecordingLog::record(const QString& call)
{
    m_calls << call;
    const QString logPath = qEnvironmentVariable("KESTREL_FAKE_PLATFORM_LOG");
    if (logPath.isEmpty())
        return;
    QFile log(logPath);
    if (log.open(QIODevice::Append | QIODevice::Text))
        log.write(call.toUtf8() + '\n');
}

bool RecordingAutostart::isPresent()
{
    return present;
}

void RecordingAutostart::write(bool enable)
{
    record(enable ? QStringLiteral("autostart write") : QStringLiteral("autostart delete"));
    present = enable;
}

QString RecordingPowerOff::powerOff()
{
    record(QStringLiteral("power off"));
    return result;
}

bool RecordingDialUp::dial()
{
    record(QStringLiteral("dial"));
    return dialResult;
}

bool RecordingDialUp::attemptConnect()
{
    record(QStringLiteral("attempt connect"));
    return attemptResult;
}

void RecordingDialUp::hangUp()
{
    record(QStringLiteral("hang up"));
}

void RecordingNotifications::notify(const QString& summary, const QString& body)
{
    record(QStringLiteral("notify \"%1\" \"%2\"").arg(summary, body));
}

bool RecordingFileManagerMenu::registerMenu(const EditionProfile& profile)
{
    record(QStringLiteral("file manager menu register ") + profile.helperName);
    registered = registered || helperPresent;
    return helperPresent;
}

bool RecordingFileManagerMenu::removeMenu(const EditionProfile& profile)
{
    record(QStringLiteral("file manager menu remove ") + profile.helperName);
    if (helperPresent)
        registered = false;
    return helperPresent;
}

SecretStore::Outcome RecordingSecretStore::availability(const Item& /*probe*/)
{
    record(QStringLiteral("secret availability"));
    return answer;
}

SecretStore::Reading RecordingSecretStore::read(const Item& item)
{
    record(QStringLiteral("secret read ") + item.key);
    if (answer != Outcome::Done)
        return {answer, {}};
    const auto found = items.constFind(item.key);
    if (found == items.constEnd())
        return {Outcome::Missing, {}};
    return {Outcome::Done, *found};
}

SecretStore::Outcome RecordingSecretStore::write(const Item& item, const QString& value)
{
    record(QStringLiteral("secret write ") + item.key);
    if (answer != Outcome::Done)
        return answer;
    if (writeAnswer == Outcome::Done) {
        items.insert(item.key, value);
        labels.insert(item.key, item.label);
    }
    return writeAnswer;
}

SecretStore::Outcome RecordingSecretStore::remove(const Item& item)
{
    record(QStringLiteral("secret remove ") + item.key);
    if (answer != Outcome::Done)
        return answer;
    items.remove(item.key);
    labels.remove(item.key);
    return Outcome::Done;
}

bool RecordingSchedule::available()
{
    return isAvailable;
}

void RecordingSchedule::apply(const BackUpSchedule& schedule)
{
    record(QStringLiteral("schedule apply ") + schedule.text());
}

void RecordingSchedule::remove()
{
    record(QStringLiteral("schedule remove"));
}

std::optional<QDateTime> RecordingSchedule::nextRun()
{
    return next;
}
