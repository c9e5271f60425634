#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A D-Bus daemon of the test's own, listening on a socket in a temporary folder,
// with mock services on it (python3-dbusmock). A test points DBUS_SESSION_BUS_ADDRESS
// or DBUS_SYSTEM_BUS_ADDRESS at address(), so nothing reaches the machine's buses:
// no notification pops up and no power-off is ever asked of the real logind.
class PrivateDBus
{
public:
    PrivateDBus();
    ~PrivateDBus();
    PrivateDBus(const PrivateDBus&) = delete;
    PrivateDBus& operator=(const PrivateDBus&) = delete;

    // Empty when the daemon did not start; errorText() says why.
    QString address() const { return m_address; }
    QString errorText() const { return m_error; }

    // Starts `python3 -m dbusmock` with these arguments on this bus (as its session
    // and its system bus) and waits until busName is owned. Every method call the
    // mock receives is logged; mockCalls() reads them back. Returns the mock's
    // number, or -1 (errorText() says why).
    int startMock(const QString& busName, const QStringList& arguments);
    // The calls a mock has logged so far, oldest first, as "Method arg1 arg2".
    QStringList mockCalls(int mock) const;
    // Stops a mock, so that its name leaves the bus.
    void stopMock(int mock);

    // A connection of the test's own to this bus (to call a mock's Mock interface).
    QDBusConnection connection();
    // True when busName has an owner on this bus now.
    bool isOwned(const QString& busName);

    // Points the process's session bus (and, with system, its system bus) here. Qt
    // reads the variables when it first opens a bus, so call it before that.
    void exportAsSessionBus() const;
    void exportAsSystemBus() const;

private:
    struct Mock
    {
        std::unique_ptr<QProcess> process;
        QString logFile;
    };

    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
    QString m_connectionName;
    std::vector<Mock> m_mocks;
};
