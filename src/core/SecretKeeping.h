#pragma once

#include "core/SecretStore.h"

#include <QString>
#include <QStringList>

// Where the secrets of the settings store live (KESTREL_SECRET_SETTINGS): in the
// desktop's keyring (Services::secretStore()) where one answers and is open, otherwise
// scrambled in the settings database, as before there was a keyring.
//
// The first use in a process settles the installed store once: a keyring that answers
// takes over what the database holds, and each value leaves the database only once
// the keyring holds it, so a refused write loses nothing. A value the keyring already
// holds wins over the database's copy. While the keyring is open, a value it does not
// hold, or a read it does not answer, is read from the database; a write it refuses
// goes to the database.
class SecretKeeping
{
public:
    static QString read(const QString& name);
    // Throws SettingsError when the value goes to the database and cannot be stored.
    static void write(const QString& name, const QString& value);

    // One line that says where passwords are kept, the same for every call with the
    // same store; settles the store first.
    static QString placeText();

    // The value names of the table, in its order.
    static QStringList names();
    // The keyring item of a value: labelled after the edition ("KestrelSolo SMTP server
    // password"), keyed by the value's name.
    static SecretStore::Item itemOf(const QString& name);

    static QString keyringText();
    static QString keyringRefusedSomeText();
    static QString lockedText();
    static QString noKeyringText();
};
