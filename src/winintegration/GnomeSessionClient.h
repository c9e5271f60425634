#pragma once

#include <QDBusObjectPath>
#include <QObject>
#include <QString>

#include <functional>

class QDBusPendingCallWatcher;

// The program as a client of a session manager that offers GNOME's client interface
// on the session bus (GNOME on Wayland and on X11). Registered, it is asked before the
// session ends (QueryEndSession) and answers through EndSessionResponse: refusing
// holds the log-out or shut-down back, the way an X11 session manager is refused.
// Where no such session manager runs, registering does nothing.
class GnomeSessionClient : public QObject
{
    Q_OBJECT

public:
    // mayEnd answers a query: true lets the session end.
    explicit GnomeSessionClient(std::function<bool()> mayEnd, QObject* parent = nullptr);
    ~GnomeSessionClient() override;

    // True when the session bus has a session manager with the client interface.
    static bool isAvailable();

    // Registers as a client (true) or leaves the session manager (false). The
    // registration completes later; registeredChanged() tells.
    void setRegistered(bool registered);
    bool isRegistered() const { return !m_clientPath.path().isEmpty(); }

Q_SIGNALS:
    void registeredChanged(bool registered);
    // The session manager asks the program to end now (the session is going away).
    void stopRequested();

private Q_SLOTS:
    void onQueryEndSession(uint flags);
    void onEndSession(uint flags);
    void onStop();

private:
    void registerClient();
    void unregisterClient();
    void onRegistered(QDBusPendingCallWatcher* watcher);
    void connectClientSignals(bool connect);
    void respond(bool mayEnd, const QString& reason);

    std::function<bool()> m_mayEnd;
    QDBusObjectPath m_clientPath;
    bool m_wanted = false;
    bool m_pending = false;
};
