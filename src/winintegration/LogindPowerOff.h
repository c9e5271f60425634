#pragma once

#include "core/PlatformServices.h"

// Forced power-off through logind on the system bus: CanPowerOff, then
// PowerOff(false), which asks no program. Failures map to the designed messages.
class LogindPowerOff : public PowerOffService
{
public:
    QString powerOff() override;
};
