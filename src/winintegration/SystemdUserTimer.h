#pragma once

#include "core/PlatformServices.h"

#include <QVariantList>

// The schedule as a timer of the user's systemd instance: the unit files of
// SystemdUnitFiles, loaded, enabled and started through the manager's D-Bus
// interface on the session bus. The timer runs the executable of the running edition.
class SystemdUserTimer : public ScheduleService
{
public:
    bool available() override;
    void apply(const BackUpSchedule& schedule) override;
    void remove() override;
    std::optional<QDateTime> nextRun() override;

private:
    // Calls a manager method; throws KestrelError with the manager's answer on an error.
    void callManager(const QString& method, const QVariantList& arguments);
};
