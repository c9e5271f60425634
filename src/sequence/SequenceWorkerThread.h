#pragma once

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>

// The one worker thread of a sequence. Zipping a large file and talking to the
// mail server take long; they run here while the window keeps processing its
// events, yet the driver stays single-threaded: it hands over one step at a time
// and waits for it. Objects that must live on one thread (the sending object's
// socket) are made, used and destroyed in steps of this thread.
class SequenceWorkerThread
{
public:
    SequenceWorkerThread();
    ~SequenceWorkerThread();
    SequenceWorkerThread(const SequenceWorkerThread&) = delete;
    SequenceWorkerThread& operator=(const SequenceWorkerThread&) = delete;

    // A step handed over with start: it runs while the caller goes on, until the
    // caller waits for it.
    struct StepOutcome;
    using PendingStep = std::shared_ptr<StepOutcome>;

    // Runs the step on the worker thread and waits for it, processing the window's
    // events through the clock meanwhile. An exception of the step is thrown again
    // here.
    void run(const std::function<void()>& step);
    // Hands the step to the worker thread and returns at once, so that two steps that
    // do not depend on each other (reading the log, walking the folders) can run on
    // two processors. The step must not use anything the caller changes meanwhile.
    PendingStep start(std::function<void()> step);
    // Waits for a started step as run does, throwing its exception again here. A
    // step that was waited for once is done: waiting again returns at once.
    // whileWaiting, when given, runs on the waiting thread each time events have been
    // processed, for example to show how far the step has got.
    static void wait(const PendingStep& pending, const std::function<void()>& whileWaiting = {});
    // Waits for a started step without processing events, ignoring its exception:
    // for cleaning up after a step whose result is no longer wanted.
    static void waitQuietly(const PendingStep& pending);
    // Whether a started step has finished (successfully or not).
    static bool finished(const PendingStep& pending);
    // Runs the step on the worker thread and waits without processing events: for
    // short steps during which nothing else of the program may run.
    void runBlocking(const std::function<void()>& step);

    // The longest time events wait to be processed while a step runs.
    static constexpr int PollIntervalMs = 10;

private:
    QThread m_thread;
    QObject* m_context;
};
