#pragma once

#include "winintegration/SessionEndHandling.h"

#include <QString>
#include <QStringList>

class SequenceWindow;
struct SequenceEndNotice;
struct SequenceState;

// How a backup sequence ends: the totals and the outcome in the settings store, the
// sequence data file, the window back to idle, the summary refreshed, and then what
// the user asked for after a sequence (hang up, shut down, close the program). The
// driver, the Cancel button and the disc burn's completion call the two ends. The
// first end a sequence reaches also tells the desktop how it ended, unless the user
// cancelled it or has the window in front: they see the end already.
class SequenceCompletion
{
public:
    enum class Outcome
    {
        None,
        Succeeded,
        Failed
    };

    SequenceCompletion(SequenceWindow& window, SequenceState& state);
    // The state of the sequence these ends belong to.
    SequenceState& state() { return m_state; }

    void EndSequenceSucceeded();
    void EndSequenceFailed() { EndSequenceFailed({}, false); }
    // The failed end of a run that could not back up what notBackedUp names (one
    // sentence each): the memo, the sequence data file and the memo after the
    // summary list them. When the run otherwise went through both lists, the warning
    // and the failure line say that files were left out instead of pointing at the
    // connection or the media.
    void EndSequenceFailed(const QStringList& notBackedUp, bool otherwiseComplete);
    // The Cancel button: marks the sequence cancelled and ends it as failed at once;
    // the driver stops at its next test.
    void CancelSequence();
    // Told by the driver when it starts and when it has returned. While it runs, an
    // end returns the window to idle but leaves Run disabled: a new start would be
    // refused until the driver has wound down (after Cancel, up to a reply time-out).
    void setDriverRunning(bool running);
    // Told by the driver before it ends the sequence: what the server accepted in this
    // sequence, for the success notification.
    void setSentThisSequence(int files, double bytes, bool maxReached, int filesWaiting = -1);
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

    static constexpr int ShutDownDelayMs = SessionEndHandling::ShutDownDelayMs;
    // The warning after a failed sequence names at most this many of its causes.
    static constexpr qsizetype MaxCausesInWarning = 4;

private:
    void resetFileCounters();
    // Writes the drive edition's log lines of this sequence to the backup log.
    void appendPendingLogLines();
    // The lines that list what the run could not back up; none when it backed up all.
    static QStringList notBackedUpLines(const QStringList& notBackedUp);
    // The lines that said what stopped the sequence, under a heading, but for those in
    // alreadyShown; none when nothing did.
    QStringList causeLines(const QStringList& alreadyShown) const;
    void restoreStagedBurnFiles();
    // The memo as it stands, and the lines still to come below it, go into the file.
    void writeSequenceDataFile(const QStringList& linesToCome = {});
    void returnToIdle();
    void hangUpIfWanted();
    void openShutDownCountdown();
    void notifyDesktop(const SequenceEndNotice& notice);

    SequenceWindow& m_window;
    SequenceState& m_state;
    bool m_driverRunning = false;
    // An end has returned the window to idle since the driver started.
    bool m_idle = true;
    Outcome m_outcome = Outcome::None;
    int m_filesSent = 0;
    double m_bytesSent = 0.0;
    bool m_maxReached = false;
    int m_filesWaiting = -1;
    // An end of this sequence has already decided about the desktop notification.
    bool m_desktopNotified = false;
};
