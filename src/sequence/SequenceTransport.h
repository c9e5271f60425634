#pragma once

#include <QString>

class TTernFileObject;
struct SequenceRun;

// The edition's way of saving a due file: mail in KestrelSolo and KestrelClient, a
// copy in the backup folder in KestrelDrive.
// The driver does the rest (lists, due test, reports, end choice) the same way in
// every edition, and calls these steps in order: open once, transfer per due file,
// finishWalks once when both walks went through, close always.
class SequenceTransport
{
public:
    virtual ~SequenceTransport() = default;

    // Gets ready and connects; a failure is reported as a status line and clears
    // run.continueRun.
    virtual void open(SequenceRun& run) = 0;
    // The run cannot start at all (the drive's backup folder is missing): the walks
    // are skipped and the run ends as failed.
    virtual bool stoppedAtOpen() const { return false; }
    // Saves one due file. Returns whether the transport step ran (even if it failed);
    // false when it could not start, for example because the connection was lost.
    virtual bool transfer(TTernFileObject& file, SequenceRun& run) = 0;
    // Called before transfer with the file the walk comes to next when that file is
    // due as well: a transport may start on it beside the current file's transfer,
    // as long as what it saves at the next file's turn is what it would have saved
    // starting then.
    virtual void expectNext(const QString& path) { Q_UNUSED(path) }
    // After both walks of a run that goes on: saves the backup log itself. Throws
    // KestrelError on failure.
    virtual void finishWalks(TTernFileObject& file, SequenceRun& run) = 0;
    // Closes connections and releases engines; adds the run's bytes to the totals.
    virtual void close(SequenceRun& run) = 0;
    // True when the transport has ended the sequence itself, or has handed its end to
    // something that ends it later (the disc burn's completion); the driver then
    // does not choose the end.
    virtual bool endsSequence() const { return false; }
};
