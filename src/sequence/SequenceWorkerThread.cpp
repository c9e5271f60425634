#include "sequence/SequenceWorkerThread.h"

#include "core/Clock.h"
#include "core/Services.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace {

struct StepOutcome
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr error;
};

} // namespace

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
    auto outcome = std::make_shared<StepOutcome>();
    QMetaObject::invokeMethod(
        m_context,
        [outcome, step] {
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
    // Pending events are processed at least every PollIntervalMs, and the wait ends
    // as soon as the step finishes: a sequence mailing small files runs several
    // short steps per file, and a fixed sleep per step would set its pace.
    std::unique_lock<std::mutex> lock(outcome->mutex);
    while (!outcome->done) {
        lock.unlock();
        Services::clock().waitPumping(0);
        lock.lock();
        outcome->finished.wait_for(lock, std::chrono::milliseconds(PollIntervalMs),
                                   [&outcome] { return outcome->done; });
    }
    if (outcome->error)
        std::rethrow_exception(outcome->error);
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
