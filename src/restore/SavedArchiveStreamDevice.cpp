#include "restore/SavedArchiveStreamDevice.h"

#include "core/KestrelError.h"
#include "restore/SavedArchiveStream.h"

#include <exception>

namespace {

// About a megabyte of the archive in flight: enough to keep both sides busy.
constexpr size_t MaxWaitingChunks = 16;

} // namespace

SavedArchiveStreamDevice::SavedArchiveStreamDevice(SavedArchiveStream& stream)
    : m_stream(stream), m_worker([this] { feedInOrder(); })
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

SavedArchiveStreamDevice::~SavedArchiveStreamDevice()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void SavedArchiveStreamDevice::finishWrites()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_waiting.empty() && !m_feeding; });
    lock.unlock();
    takeRefusal();
}

qint64 SavedArchiveStreamDevice::readData(char*, qint64)
{
    return -1;
}

qint64 SavedArchiveStreamDevice::writeData(const char* data, qint64 size)
{
    takeRefusal();
    if (!m_refusal.isEmpty())
        return -1;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] {
            return m_waiting.size() < MaxWaitingChunks || !m_workerRefusal.isEmpty();
        });
        if (m_workerRefusal.isEmpty())
            m_waiting.emplace_back(data, qsizetype(size));
    }
    m_changed.notify_all();
    takeRefusal();
    if (!m_refusal.isEmpty())
        return -1;
    m_fed += size;
    return size;
}

void SavedArchiveStreamDevice::takeRefusal()
{
    if (!m_refusal.isEmpty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_refusal = m_workerRefusal;
    }
    if (!m_refusal.isEmpty())
        setErrorString(m_refusal);
}

void SavedArchiveStreamDevice::feedInOrder()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_waiting.empty() || m_closing; });
        if (m_waiting.empty())
            return;
        const QByteArray chunk = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_feeding = true;
        lock.unlock();
        m_changed.notify_all();
        QString refusal;
        try {
            m_stream.feed(chunk);
        } catch (const KestrelError& error) {
            refusal = error.message();
        } catch (const std::exception& error) {
            refusal = QString::fromLocal8Bit(error.what());
        }
        lock.lock();
        m_feeding = false;
        if (!refusal.isEmpty() && m_workerRefusal.isEmpty()) {
            m_workerRefusal = refusal;
            // What waits after a refusal is of no use to the reader.
            m_waiting.clear();
        }
        m_changed.notify_all();
    }
}
