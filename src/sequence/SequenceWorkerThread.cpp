#include "sequence/SequenceWorkerThread.h"

#include "core/Clock.h"
#include "core/Services.h"

#include <atomic>
#include <exception>
#include <memory>

namespace {

struct StepOutcome
{
    std::atomic<bool> done = false;
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
            try {
                step();
            } catch (...) {
                outcome->error = std::current_exception();
            }
            outcome->done.store(true, std::memory_order_release);
        },
        Qt::QueuedConnection);
    while (!outcome->done.load(std::memory_order_acquire))
        Services::clock().waitPumping(PollIntervalMs);
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
