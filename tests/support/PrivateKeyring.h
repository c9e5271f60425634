#pragma once

#include "support/PrivateDBus.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>

// A real gnome-keyring-daemon (its Secret Service only) of the test's own, on a
// PrivateDBus, with its keyring files in a temporary folder; the test unlocks it with
// a password of its own. Nothing reaches the desktop's keyring, and no unlock prompt
// can show: the bus runs without a display.
class PrivateKeyring
{
public:
    PrivateKeyring();
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;

    // Empty when the keyring did not come up; errorText() says why.
    QString address() const { return m_address; }
    QString errorText() const { return m_error; }

    // Locks the default collection, as after the user locked it.
    bool lock();
    // Stops the daemon where it is (it answers nothing), or lets it go on.
    void pause(bool paused);
    // The item's secret as another client (secret-tool) finds it by the attributes
    // QtKeychain gives it; no value when there is none.
    std::optional<QString> lookup(const QString& label, const QString& key) const;
    // The label another client sees on the item.
    QString labelOf(const QString& label, const QString& key) const;
    // Stores an item as QtKeychain would, through secret-tool; the secret goes on its
    // standard input.
    bool store(const QString& label, const QString& key, const QString& secret) const;

private:
    QByteArray secretTool(const QStringList& arguments, const QByteArray& input = {},
                          bool* ok = nullptr) const;
    QProcessEnvironment environment() const;

    QTemporaryDir m_folder;
    std::optional<PrivateDBus> m_bus;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};
