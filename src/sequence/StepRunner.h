#pragma once

#include <functional>

// Runs a blocking step (talking to the mail server) while the caller's events are
// processed: the window passes its worker thread's run, a run without a window
// leaves it empty and the step runs directly.
using StepRunner = std::function<void(const std::function<void()>& step)>;

inline void runStep(const StepRunner& runner, const std::function<void()>& step)
{
    if (runner)
        runner(step);
    else
        step();
}
