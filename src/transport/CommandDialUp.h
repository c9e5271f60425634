#pragma once

#include "core/PlatformServices.h"

// Dial-up through the user's own commands (settings DialUpCommand and HangUpCommand).
// With no dial command the machine counts as always connected. A command succeeds
// when it exits with code 0 within the time-out; one that runs longer is stopped
// together with everything it started.
class CommandDialUp : public DialUpService
{
public:
    static constexpr int DefaultTimeoutMs = 60000;

    explicit CommandDialUp(int timeoutMs = DefaultTimeoutMs) : m_timeoutMs(timeoutMs) {}

    bool dial() override;
    bool attemptConnect() override;
    void hangUp() override;

    // Runs a command line through /bin/sh in a process group of its own; true on exit
    // code 0 within the time-out. Its output is discarded.
    static bool runCommand(const QString& commandLine, int timeoutMs);

private:
    int m_timeoutMs;
};
