#include "core/QuayRegistryObject.h"

#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/PlatformServices.h"
#include "core/Scrambler.h"
#include "core/SecretKeeping.h"
#include "core/Services.h"
#include "core/SettingsDatabase.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

#include <cstring>

using ValueType = SettingsDatabase::ValueType;

namespace {

const QString FolderSearchDefault = QStringLiteral("01/01/1995");

// Read under a differently capitalised name: the store compares value names
// without regard to case.
const QString MaxBytesReadName = QStringLiteral("MaxNumberOfBytesTOBackedUp");
const QString MaxBytesWriteName = QStringLiteral("MaxNumberOfBytesToBackedUp");

// Reads never fail: when the value a read settles on cannot be written back (the
// settings file cannot be opened), the read still gives it, and the next read tries
// the write again.
template <typename Write> void writeBack(Write write)
{
    try {
        write();
    } catch (const KestrelError&) {
    }
}

} // namespace

QString TQuayRegistryObject::keyPath()
{
    return currentProfile().registryRoot;
}

QString TQuayRegistryObject::serviceBackUpAddress()
{
    return QStringLiteral("backups@kestrelclient.example.net");
}

// ---- raw typed access ----

bool TQuayRegistryObject::readBoolean(const QString& name) const
{
    return readInteger(name) != 0;
}

int TQuayRegistryObject::readInteger(const QString& name, bool* ok) const
{
    const auto value = SettingsDatabase::read(keyPath(), name);
    const bool valid = value && value->type == ValueType::Integer && value->data.size() == 4;
    if (ok)
        *ok = valid;
    return valid ? qFromLittleEndian<qint32>(value->data.constData()) : 0;
}

double TQuayRegistryObject::readFloat(const QString& name, bool* ok) const
{
    const auto value = SettingsDatabase::read(keyPath(), name);
    const bool valid = value && value->type == ValueType::Binary && value->data.size() == 8;
    if (ok)
        *ok = valid;
    if (!valid)
        return 0.0;
    const quint64 bits = qFromLittleEndian<quint64>(value->data.constData());
    double result = 0.0;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

QString TQuayRegistryObject::readString(const QString& name) const
{
    const auto value = SettingsDatabase::read(keyPath(), name);
    if (!value || value->type != ValueType::String)
        return {};
    return QString::fromUtf8(value->data);
}

QString TQuayRegistryObject::readScrambled(const QString& name) const
{
    const auto value = SettingsDatabase::read(keyPath(), name);
    if (!value || value->type != ValueType::String)
        return {};
    return QString::fromUtf8(unscrambleBytes(value->data));
}

void TQuayRegistryObject::writeBoolean(const QString& name, bool value) const
{
    writeInteger(name, value ? 1 : 0);
}

void TQuayRegistryObject::writeInteger(const QString& name, int value) const
{
    QByteArray data(4, Qt::Uninitialized);
    qToLittleEndian<qint32>(value, data.data());
    SettingsDatabase::write(keyPath(), name, {ValueType::Integer, data});
}

void TQuayRegistryObject::writeFloat(const QString& name, double value) const
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray data(8, Qt::Uninitialized);
    qToLittleEndian<quint64>(bits, data.data());
    SettingsDatabase::write(keyPath(), name, {ValueType::Binary, data});
}

void TQuayRegistryObject::writeString(const QString& name, const QString& value) const
{
    SettingsDatabase::write(keyPath(), name, {ValueType::String, value.toUtf8()});
}

void TQuayRegistryObject::writeScrambled(const QString& name, const QString& value) const
{
    SettingsDatabase::write(keyPath(), name, {ValueType::String, scrambleBytes(value.toUtf8())});
}

QString TQuayRegistryObject::readSecret(const QString& name) const
{
    return SecretKeeping::read(name);
}

void TQuayRegistryObject::writeSecret(const QString& name, const QString& value) const
{
    SecretKeeping::write(name, value);
}

QString TQuayRegistryObject::readLocation(const QString& name, const char* suffix) const
{
    const QString stored = readString(name);
    if (!stored.isEmpty())
        return stored;
    const QString location = currentProgramFolder() + QLatin1String(suffix);
    writeBack([&] { writeString(name, location); });
    return location;
}

int TQuayRegistryObject::readNewProfileValue(const QString& name, int newProfileValue) const
{
    bool ok = false;
    const int stored = readInteger(name, &ok);
    if (ok)
        return stored;
    const int value = isExistingProfile() ? 0 : newProfileValue;
    writeBack([&] { writeInteger(name, value); });
    return value;
}

bool TQuayRegistryObject::isExistingProfile() const
{
    return QFileInfo::exists(ReadLogFile()) || QFileInfo::exists(ReadFileOfFiles()) ||
           QFileInfo::exists(ReadFileOfDirectories());
}

// ---- the tables ----

#define KESTREL_DEFINE_BOOLEAN(name, defaultValue)                                                 \
    bool TQuayRegistryObject::Read##name() const                                                   \
    {                                                                                              \
        return readBoolean(QStringLiteral(#name));                                                 \
    }                                                                                              \
    void TQuayRegistryObject::Write##name(bool value) const                                        \
    {                                                                                              \
        writeBoolean(QStringLiteral(#name), value);                                                \
    }
#define KESTREL_DEFINE_INTEGER(name, defaultValue)                                                 \
    int TQuayRegistryObject::Read##name() const                                                    \
    {                                                                                              \
        bool ok = false;                                                                           \
        const int value = readInteger(QStringLiteral(#name), &ok);                                 \
        return ok ? value : (defaultValue);                                                        \
    }                                                                                              \
    void TQuayRegistryObject::Write##name(int value) const                                         \
    {                                                                                              \
        writeInteger(QStringLiteral(#name), value);                                                \
    }
#define KESTREL_DEFINE_FLOAT(name, defaultValue)                                                   \
    double TQuayRegistryObject::Read##name() const                                                 \
    {                                                                                              \
        bool ok = false;                                                                           \
        const double value = readFloat(QStringLiteral(#name), &ok);                                \
        return ok ? value : (defaultValue);                                                        \
    }                                                                                              \
    void TQuayRegistryObject::Write##name(double value) const                                      \
    {                                                                                              \
        writeFloat(QStringLiteral(#name), value);                                                  \
    }
#define KESTREL_DEFINE_STRING(name)                                                                \
    QString TQuayRegistryObject::Read##name() const                                                \
    {                                                                                              \
        return readString(QStringLiteral(#name));                                                  \
    }                                                                                              \
    void TQuayRegistryObject::Write##name(const QString& value) const                              \
    {                                                                                              \
        writeString(QStringLiteral(#name), value);                                                 \
    }
#define KESTREL_DEFINE_SECRET(name, label)                                                         \
    QString TQuayRegistryObject::Read##name() const                                                \
    {                                                                                              \
        return readSecret(QStringLiteral(#name));                                                  \
    }                                                                                              \
    void TQuayRegistryObject::Write##name(const QString& value) const                              \
    {                                                                                              \
        writeSecret(QStringLiteral(#name), value);                                                 \
    }
#define KESTREL_DEFINE_LOCATION(name, suffix)                                                      \
    QString TQuayRegistryObject::Read##name() const                                                \
    {                                                                                              \
        return readLocation(QStringLiteral(#name), suffix);                                        \
    }                                                                                              \
    void TQuayRegistryObject::Write##name(const QString& value) const                              \
    {                                                                                              \
        writeString(QStringLiteral(#name), value);                                                 \
    }

KESTREL_BOOLEAN_SETTINGS(KESTREL_DEFINE_BOOLEAN)
KESTREL_INTEGER_SETTINGS(KESTREL_DEFINE_INTEGER)
KESTREL_FLOAT_SETTINGS(KESTREL_DEFINE_FLOAT)
KESTREL_STRING_SETTINGS(KESTREL_DEFINE_STRING)
KESTREL_SECRET_SETTINGS(KESTREL_DEFINE_SECRET)
KESTREL_LOCATION_SETTINGS(KESTREL_DEFINE_LOCATION)

#define KESTREL_DEFINE_NEW_PROFILE(name, type, newProfileValue)                                    \
    type TQuayRegistryObject::Read##name() const                                                   \
    {                                                                                              \
        return type(readNewProfileValue(QStringLiteral(#name), newProfileValue));                  \
    }                                                                                              \
    void TQuayRegistryObject::Write##name(type value) const                                        \
    {                                                                                              \
        writeInteger(QStringLiteral(#name), int(value));                                           \
    }
KESTREL_NEW_PROFILE_SETTINGS(KESTREL_DEFINE_NEW_PROFILE)

// ---- values with rules of their own ----

void TQuayRegistryObject::WriteRunSequenceNow(bool value) const
{
    writeBoolean(QStringLiteral("RunSequenceNow"), value);
}

int TQuayRegistryObject::ReadMediaCapacity() const
{
    const int stored = readInteger(QStringLiteral("MediaCapacity"));
    return stored == 0 ? DefaultMediaCapacity : stored;
}

void TQuayRegistryObject::WriteMediaCapacity(int value) const
{
    writeInteger(QStringLiteral("MediaCapacity"), value);
}

int TQuayRegistryObject::ReadUserConnectionPort() const
{
    const int stored = readInteger(QStringLiteral("UserConnectionPort"));
    return stored == 0 ? DefaultConnectionPort : stored;
}

void TQuayRegistryObject::WriteUserConnectionPort(int value) const
{
    writeInteger(QStringLiteral("UserConnectionPort"), value);
}

int TQuayRegistryObject::ReadFileIDNumber() const
{
    const int stored = readInteger(QStringLiteral("FileIDNumber"));
    if (stored > FileIDNumberLimit) {
        writeBack([this] { WriteFileIDNumber(1); });
        return 1;
    }
    return stored;
}

void TQuayRegistryObject::WriteFileIDNumber(int value) const
{
    writeInteger(QStringLiteral("FileIDNumber"), value);
}

double TQuayRegistryObject::ReadMaxNumberOfBytesToBackedUp() const
{
    bool ok = false;
    const double stored = readFloat(MaxBytesReadName, &ok);
    return (!ok || stored == 0.0) ? DefaultMaxNumberOfBytes : stored;
}

void TQuayRegistryObject::WriteMaxNumberOfBytesToBackedUp(double value) const
{
    writeFloat(MaxBytesWriteName, value);
}

QString TQuayRegistryObject::ReadFolderSearchDate() const
{
    const QString stored = readString(QStringLiteral("FolderSearchDate"));
    return stored.isEmpty() ? FolderSearchDefault : stored;
}

void TQuayRegistryObject::WriteFolderSearchDate(const QString& value) const
{
    writeString(QStringLiteral("FolderSearchDate"), value);
}

QString TQuayRegistryObject::ReadUserIMAPMailbox() const
{
    const QString stored = readString(QStringLiteral("UserIMAPMailbox"));
    return stored.isEmpty() ? QStringLiteral("INBOX") : stored;
}

void TQuayRegistryObject::WriteUserIMAPMailbox(const QString& value) const
{
    writeString(QStringLiteral("UserIMAPMailbox"), value);
}

QString TQuayRegistryObject::ReadUserBackUpEmailAddress() const
{
    const QString name = QStringLiteral("UserBackUpEmailAddress");
    if (isEdition(Edition::KestrelClient)) {
        const QString address = serviceBackUpAddress();
        writeBack([&] { writeScrambled(name, address); });
        return address;
    }
    return readScrambled(name);
}

void TQuayRegistryObject::WriteUserBackUpEmailAddress(const QString& value) const
{
    writeScrambled(QStringLiteral("UserBackUpEmailAddress"), value);
}

QString TQuayRegistryObject::ReadUserID() const
{
    const QString name = QStringLiteral("UserID");
    const QString stored = readString(name);
    if (!stored.isEmpty())
        return stored;
    const QString made = QStringLiteral("%1")
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
                             .toUpper();
    writeBack([&] { writeString(name, made); });
    return made;
}

void TQuayRegistryObject::WriteRunEntry(bool present) const
{
    Services::autostart().write(present);
}

bool TQuayRegistryObject::ReadRunEntryPresent() const
{
    return Services::autostart().isPresent();
}
