#include "core/SecretKeeping.h"

#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "core/SettingsDatabase.h"

#include <mutex>

namespace {

struct SecretSetting
{
    const char* name;
    const char* label;
};

#define KESTREL_SECRET_ROW(name, label) {#name, label},
constexpr SecretSetting Secrets[] = {KESTREL_SECRET_SETTINGS(KESTREL_SECRET_ROW)};
#undef KESTREL_SECRET_ROW

// Settling runs once per store, whichever thread first needs a secret.
std::mutex& settleMutex()
{
    static std::mutex mutex;
    return mutex;
}

bool inDatabase(const QString& name)
{
    return SettingsDatabase::read(TQuayRegistryObject::keyPath(), name).has_value();
}

// The keyring holds the value: the database's copy goes. A copy that cannot be removed
// now is harmless, since the keyring's wins, and is removed at a later start.
void dropFromDatabase(const QString& name)
{
    try {
        SettingsDatabase::remove(TQuayRegistryObject::keyPath(), name);
    } catch (const KestrelError&) {
    }
}

// Moves one value over; false when it stays in the database.
bool moveToKeyring(SecretStore& store, const QString& name)
{
    if (!inDatabase(name))
        return true;
    const SecretStore::Item item = SecretKeeping::itemOf(name);
    const SecretStore::Reading held = store.read(item);
    if (held.outcome == SecretStore::Outcome::Done) {
        dropFromDatabase(name);
        return true;
    }
    if (held.outcome != SecretStore::Outcome::Missing)
        return false;
    const QString plain = TQuayRegistryObject().readScrambled(name);
    if (!plain.isEmpty() && store.write(item, plain) != SecretStore::Outcome::Done)
        return false;
    dropFromDatabase(name);
    return true;
}

// Returns whether the keyring keeps the secrets.
bool settle(SecretStore& store)
{
    const std::lock_guard lock(settleMutex());
    if (store.settled)
        return store.keepsSecrets;
    const SecretStore::Outcome availability =
        store.availability(SecretKeeping::itemOf(QLatin1String(Secrets[0].name)));
    store.keepsSecrets = availability == SecretStore::Outcome::Done;
    if (store.keepsSecrets) {
        bool allMoved = true;
        for (const SecretSetting& secret : Secrets)
            allMoved = moveToKeyring(store, QLatin1String(secret.name)) && allMoved;
        store.placeText =
            allMoved ? SecretKeeping::keyringText() : SecretKeeping::keyringRefusedSomeText();
    } else {
        store.placeText = availability == SecretStore::Outcome::Locked
                              ? SecretKeeping::lockedText()
                              : SecretKeeping::noKeyringText();
    }
    store.settled = true;
    return store.keepsSecrets;
}

} // namespace

QString SecretKeeping::read(const QString& name)
{
    SecretStore& store = Services::secretStore();
    if (settle(store)) {
        const SecretStore::Reading held = store.read(itemOf(name));
        if (held.outcome == SecretStore::Outcome::Done)
            return held.value;
    }
    return TQuayRegistryObject().readScrambled(name);
}

void SecretKeeping::write(const QString& name, const QString& value)
{
    SecretStore& store = Services::secretStore();
    if (settle(store)) {
        const SecretStore::Item item = itemOf(name);
        const SecretStore::Outcome outcome =
            value.isEmpty() ? store.remove(item) : store.write(item, value);
        if (outcome == SecretStore::Outcome::Done) {
            dropFromDatabase(name);
            return;
        }
    }
    TQuayRegistryObject().writeScrambled(name, value);
}

QString SecretKeeping::placeText()
{
    SecretStore& store = Services::secretStore();
    settle(store);
    const std::lock_guard lock(settleMutex());
    return store.placeText;
}

QStringList SecretKeeping::names()
{
    QStringList names;
    for (const SecretSetting& secret : Secrets)
        names << QLatin1String(secret.name);
    return names;
}

SecretStore::Item SecretKeeping::itemOf(const QString& name)
{
    QString label = name;
    for (const SecretSetting& secret : Secrets)
        if (name == QLatin1String(secret.name))
            label = QLatin1String(secret.label);
    return {currentProfile().name + QLatin1Char(' ') + label, name};
}

QString SecretKeeping::keyringText()
{
    return QStringLiteral("Passwords are kept in the desktop's keyring.");
}

QString SecretKeeping::keyringRefusedSomeText()
{
    return QStringLiteral("Passwords are kept in the desktop's keyring; those it would not take "
                          "stay scrambled in the settings database.");
}

QString SecretKeeping::lockedText()
{
    return QStringLiteral("The desktop's keyring is locked, so passwords stay scrambled in the "
                          "settings database.");
}

QString SecretKeeping::noKeyringText()
{
    return QStringLiteral("No keyring answers here, so passwords stay scrambled in the settings "
                          "database.");
}
