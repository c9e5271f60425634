#pragma once

#include "sequence/SequenceTransport.h"

class SequenceCompletion;
struct SequenceState;
class SequenceWindow;
class TCDBurner;

// The disc branch of the sequence (KestrelCD): every due file is staged in the
// burner's burn area, and after both walks one burn writes them all. The sequence
// is then ended by the burn's completion (CdBurnCompletion), or here when there was
// nothing to burn or the burner could not be used.
class CdSequenceTransport : public SequenceTransport
{
public:
    CdSequenceTransport(SequenceWindow& window, SequenceCompletion& completion, TCDBurner& burner);

    void open(SequenceRun& run) override;
    bool transfer(TTernFileObject& file, SequenceRun& run) override;
    void finishWalks(TTernFileObject&, SequenceRun&) override {}
    void close(SequenceRun& run) override;
    bool stoppedAtOpen() const override { return m_unusable; }
    bool endsSequence() const override { return m_ended; }

    // The wait after the burn has started.
    static constexpr int WaitAfterBurnStartMs = 500;

private:
    void setStagedFilesAside();

    SequenceWindow& m_window;
    SequenceCompletion& m_completion;
    SequenceState& m_state;
    TCDBurner& m_burner;
    bool m_unusable = false;
    bool m_burnStopped = false;
    bool m_ended = false;
    qint64 m_stagedBytes = 0;
    qint64 m_freeBytesOnMedia = 0;
};
