#include "restore/SavedArchiveStreamDevice.h"

#include "core/KestrelError.h"
#include "restore/SavedArchiveStream.h"

SavedArchiveStreamDevice::SavedArchiveStreamDevice(SavedArchiveStream& stream) : m_stream(stream)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 SavedArchiveStreamDevice::readData(char*, qint64)
{
    return -1;
}

qint64 SavedArchiveStreamDevice::writeData(const char* data, qint64 size)
{
    if (!m_refusal.isEmpty())
        return -1;
    try {
        m_stream.feed(data, qsizetype(size));
    } catch (const KestrelError& error) {
        m_refusal = error.message();
        setErrorString(m_refusal);
        return -1;
    }
    m_fed += size;
    return size;
}
