#pragma once

#include "core/PlatformServices.h"

#include <QObject>
#include <QString>

#include <memory>

class QDBusPendingCallWatcher;

// Desktop notifications through org.freedesktop.Notifications on the session bus,
// which the desktops serve with a tray or without one. Notify is sent without waiting
// for its answer, so the window never waits on the desktop. Without a session bus or
// a notification service nothing is shown, and the first such failure is logged once.
class FreedesktopNotifications : public DesktopNotificationService
{
public:
    FreedesktopNotifications();
    // Waits for the answers still outstanding (each at most CallTimeoutMs): a program
    // that ends right after its sequence, as the run without a window does, still
    // delivers the notification of that sequence.
    ~FreedesktopNotifications() override;
    FreedesktopNotifications(const FreedesktopNotifications&) = delete;
    FreedesktopNotifications& operator=(const FreedesktopNotifications&) = delete;

    void notify(const QString& summary, const QString& body) override;
    // Whether calls sent are still without a handled answer.
    bool hasPendingCalls() const;

    static constexpr int CallTimeoutMs = 5000;

private:
    void warnOnce(const QString& problem);

    // Parent of the watchers of the calls whose answers are still outstanding.
    std::unique_ptr<QObject> m_pending;
    bool m_warned = false;
};
