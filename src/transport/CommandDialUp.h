#pragma once

#include "core/PlatformServices.h"

// Dial-up through the user's own commands (settings DialUpCommand and HangUpCommand).
// With no dial command the machine counts as always connected. A command succeeds
// when it exits with code 0 within the time-out.
class CommandDialUp : public DialUpService
{
public:
    bool dial() override;
    bool attemptConnect() override;
    void hangUp() override;

    static constexpr int CommandTimeoutMs = 60000;
    // Runs a command line through /bin/sh; true on exit code 0 within the time-out.
    static bool runCommand(const QString& commandLine, int timeoutMs = CommandTimeoutMs);
};
