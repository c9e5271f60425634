#pragma once

#include <QString>

class SequenceWindow;

// How a backup sequence ends: the totals and the outcome in the settings store, the
// sequence data file, the window back to idle, the summary refreshed, and then what
// the user asked for after a sequence (hang up, shut down, close the program). The
// driver, the Cancel button and the disc burn's completion call the two ends.
class SequenceCompletion
{
public:
    enum class Outcome
    {
        None,
        Succeeded,
        Failed
    };

    explicit SequenceCompletion(SequenceWindow& window);

    void EndSequenceSucceeded();
    void EndSequenceFailed();
    // After a request mail: hangs up when DialUpDisconnect is set, then opens the
    // shut-down countdown when ShutDown is set or the shut-down trigger started us.
    void HangUpAndShutDownIfSet();
    // The tick of the 30 s timer a failed end starts before the shut-down countdown.
    void ShutDownDelayElapsed();
    // Called when the window's page control gets the focus: shows the warning left by
    // a failed sequence, once.
    void ShowSequenceMessageOnce();

    // How the last end operation that ran through ended its sequence; None before any.
    Outcome lastOutcome() const { return m_outcome; }

    // The current local time as "yy-MM-dd hh-mm-ss".
    static QString SequenceDateStamp();

    static constexpr int ShutDownDelayMs = 30000;

private:
    void resetFileCounters();
    void restoreStagedBurnFiles();
    void writeSequenceDataFile();
    void returnToIdle();
    void hangUpIfWanted();
    void openShutDownCountdown();

    SequenceWindow& m_window;
    Outcome m_outcome = Outcome::None;
};
