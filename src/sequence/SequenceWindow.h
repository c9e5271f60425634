#pragma once

#include "sequence/SequenceStatusView.h"
#include "sequence/SequenceWindowControl.h"

// The main window as a sequence sees it, in its two roles: the view of the run's
// progress, and the window the run controls. The main window implements it on its
// pages, the run without a window on standard output, tests with a recording fake, so
// a whole sequence runs without widgets. The state of a run is not the window's: it
// is the SequenceState its owner hands to the sequence.
class SequenceWindow : public SequenceStatusView, public SequenceWindowControl
{
public:
    using BackUpType = SequenceChoices::BackUpType;
};
