#pragma once

#include <QObject>
#include <QThread>

#include <functional>

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

    // Runs the step on the worker thread and waits for it, processing the window's
    // events through the clock meanwhile. An exception of the step is thrown again
    // here.
    void run(const std::function<void()>& step);
    // Runs the step on the worker thread and waits without processing events: for
    // short steps during which nothing else of the program may run.
    void runBlocking(const std::function<void()>& step);

    // The longest time events wait to be processed while a step runs.
    static constexpr int PollIntervalMs = 10;

private:
    QThread m_thread;
    QObject* m_context;
};
