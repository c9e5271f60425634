#pragma once

class SequenceCompletion;
class SequenceWindow;
class TCDBurner;

// The end of a disc sequence, run when the burn has ended: which staged files
// reached the disc, their log records, and the end as succeeded or failed.
struct CdBurnCompletion
{
    // The wait after the tray was closed, before the disc is read.
    static constexpr int WaitAfterCloseMs = 5000;
    static void OnBurnDone(SequenceWindow& window, SequenceCompletion& completion,
                           TCDBurner& burner);
};
