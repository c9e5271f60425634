#pragma once

#include <QString>

// The desktop's keyring, where the program keeps its passwords and tokens. The
// program installs the Secret Service over D-Bus (SecretServiceStore), or none where
// the recording platform is used; tests install RecordingSecretStore. Every call
// comes back within a bounded time, whatever the keyring does.
class SecretStore
{
public:
    // One item of the keyring. label is what the desktop's password manager shows.
    struct Item
    {
        QString label;
        QString key;
    };

    enum class Outcome
    {
        Done,
        // Read: the keyring holds no such item.
        Missing,
        // The keyring is there but locked, and the user did not (or could not) unlock it.
        Locked,
        // No keyring answered: none runs, no session bus, or it took too long.
        Unanswered
    };

    struct Reading
    {
        Outcome outcome = Outcome::Unanswered;
        QString value;
    };

    virtual ~SecretStore() = default;

    // Whether a keyring answers and is open: Done, Locked or Unanswered, found by
    // reading probe. Asked once per store; a locked keyring that holds the probe may
    // ask the user to unlock it.
    virtual Outcome availability(const Item& probe) = 0;
    virtual Reading read(const Item& item) = 0;
    virtual Outcome write(const Item& item, const QString& value) = 0;
    // Done also when there was nothing to remove.
    virtual Outcome remove(const Item& item) = 0;

    // What the settings store settled for this store: kept here, so that each process
    // start (each installed store) moves the secrets over and says where they are once.
    bool settled = false;
    bool keepsSecrets = false;
    QString placeText;
};
