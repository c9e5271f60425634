#include "sequence/SequenceWorkerThread.h"

#include "core/Clock.h"
#include "core/Services.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>

struct SequenceWorkerThread::StepOutcome
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr error;
};

SequenceWorkerThread::SequenceWorkerThread() : m_context(new QObject)
{
    m_thread.setObjectName(QStringLiteral("Sequence worker"));
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

SequenceWorkerThread::~SequenceWorkerThread()
{
    m_thread.quit();
    m_thread.wait();
}

void SequenceWorkerThread::run(const std::function<void()>& step)
{
    wait(start(step));
}

SequenceWorkerThread::PendingStep SequenceWorkerThread::start(std::function<void()> step)
{
    auto outcome = std::make_shared<StepOutcome>();
    QMetaObject::invokeMethod(
        m_context,
        [outcome, step = std::move(step)] {
            std::exception_ptr error;
            try {
                step();
            } catch (...) {
                error = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> lock(outcome->mutex);
                outcome->error = error;
                outcome->done = true;
            }
            outcome->finished.notify_one();
        },
        Qt::QueuedConnection);
    return outcome;
}

void SequenceWorkerThread::wait(const PendingStep& pending,
                                const std::function<void()>& whileWaiting)
{
    if (!pending)
        return;
    // Pending events are processed at least every PollIntervalMs, and the wait ends
    // as soon as the step finishes: a sequence mailing small files runs several
    // short steps per file, and a fixed sleep per step would set its pace.
    std::unique_lock<std::mutex> lock(pending->mutex);
    while (!pending->done) {
        lock.unlock();
        Services::clock().waitPumping(0);
        if (whileWaiting)
            whileWaiting();
        lock.lock();
        pending->finished.wait_for(lock, std::chrono::milliseconds(PollIntervalMs),
                                   [&pending] { return pending->done; });
    }
    if (pending->error)
        std::rethrow_exception(std::exchange(pending->error, nullptr));
}

void SequenceWorkerThread::waitQuietly(const PendingStep& pending)
{
    if (!pending)
        return;
    std::unique_lock<std::mutex> lock(pending->mutex);
    pending->finished.wait(lock, [&pending] { return pending->done; });
}

bool SequenceWorkerThread::finished(const PendingStep& pending)
{
    if (!pending)
        return true;
    const std::lock_guard<std::mutex> lock(pending->mutex);
    return pending->done;
}

void SequenceWorkerThread::runBlocking(const std::function<void()>& step)
{
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        m_context,
        [&error, &step] {
            try {
                step();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
}
