#pragma once

#include "sequence/SequenceChoices.h"

// What a sequence asks of the window beyond showing its progress: the user's choices,
// saving what the user entered, the log tree, the timers, the summary, and the ends
// of the program.
class SequenceWindowControl
{
public:
    virtual ~SequenceWindowControl() = default;

    // The user's choices as the controls show them now.
    virtual SequenceChoices userChoices() const = 0;
    // Stores the settings pages and writes both selection trees to their list files.
    // Throws KestrelError when a list cannot be written.
    virtual void saveUserChoices() = 0;
    // Reloads the log tree from the log file; stops early when the sequence is
    // cancelled during the load.
    virtual void loadLogIntoTree() = 0;
    // The 5 s timer that appends "." to the last status line while folders are
    // expanded.
    virtual void startFolderDotsTimer() = 0;
    virtual void stopFolderDotsTimer() = 0;
    // Reloads the setting controls and the Summary page and writes the summary into
    // the status memo.
    virtual void refreshFromSettings() = 0;
    // Opens the shut-down countdown window.
    virtual void openShutDownCountdown() = 0;
    // Starts the 30 s timer whose tick calls SequenceCompletion::ShutDownDelayElapsed.
    virtual void startShutDownDelayTimer() = 0;
    // Ends the program without the close question.
    virtual void terminateApplication() = 0;
    // True while the user has the window in front of them (shown, not minimised and
    // active): the end of a sequence then needs no desktop notification.
    virtual bool isInFront() const = 0;
    // Sounds the system's default beep, to draw the user to a sequence that could
    // not start.
    virtual void beep() = 0;
};
