#include "core/TransferEstimate.h"

#include <QStringBuilder>

#include <algorithm>
#include <iterator>

void TransferEstimate::start(qint64 bytesDue, qint64 nowMs, qint64 filesDue, qint64 pauseMs)
{
    m_started = true;
    m_bytesDue = bytesDue;
    m_filesDue = std::max<qint64>(0, filesDue);
    m_pauseMs = std::max<qint64>(0, pauseMs);
    m_filesDone = 0;
    m_startMs = nowMs;
    m_shownOnce = false;
    m_text.clear();
}

bool TransferEstimate::update(qint64 bytesDone, qint64 nowMs, bool fileEnded)
{
    if (!m_started)
        return false;
    if (fileEnded)
        ++m_filesDone;
    if (m_shownOnce && nowMs - m_shownMs < UpdateIntervalMs)
        return false;
    return flush(bytesDone, nowMs);
}

bool TransferEstimate::flush(qint64 bytesDone, qint64 nowMs)
{
    if (!m_started)
        return false;
    QString text = describe(bytesDone, m_bytesDue, timeLeftMs(bytesDone, nowMs), m_verb);
    if (m_shownOnce && text == m_text)
        return false;
    m_text = std::move(text);
    m_shownMs = nowMs;
    m_shownOnce = true;
    return true;
}

bool TransferEstimate::report(qint64 bytesDone, qint64 bytesDue, qint64 nowMs)
{
    if (!m_started)
        start(bytesDue, nowMs);
    m_bytesDue = bytesDue;
    return bytesDone >= bytesDue ? flush(bytesDone, nowMs) : update(bytesDone, nowMs);
}

std::optional<qint64> TransferEstimate::timeLeftMs(qint64 bytesDone, qint64 nowMs) const
{
    const qint64 elapsedMs = nowMs - m_startMs;
    if (m_bytesDue < 0 || bytesDone >= m_bytesDue || bytesDone <= 0 ||
        (m_filesDone == 0 && elapsedMs < RateKnownAfterMs))
        return std::nullopt;
    // The pauses already over are known; the rest of the time went on the bytes.
    const qint64 pausedMs = std::min(elapsedMs, m_filesDone * m_pauseMs);
    const double busyMs = static_cast<double>(elapsedMs - pausedMs);
    const double bytesMs = static_cast<double>(m_bytesDue - bytesDone) * busyMs / bytesDone;
    const double pausesMs =
        static_cast<double>(std::max<qint64>(0, m_filesDue - m_filesDone) * m_pauseMs);
    // Beyond a few years the figure is noise; it still reads as a long time.
    return static_cast<qint64>(std::min(bytesMs + pausesMs, 1e11));
}

QString TransferEstimate::describe(qint64 bytesDone, qint64 bytesDue, std::optional<qint64> leftMs,
                                   const QString& verb)
{
    bytesDone = std::max<qint64>(0, bytesDone);
    if (bytesDue < 0)
        return sizeText(bytesDone) % QLatin1Char(' ') % verb;
    // Files may grow while they are sent: what was done is never more than the whole.
    const qint64 whole = std::max(bytesDue, bytesDone);
    const QString done =
        sizeText(bytesDone) % QStringLiteral(" of ") % sizeText(whole) % QLatin1Char(' ') % verb;
    if (!leftMs || bytesDone >= whole)
        return done;
    return done % QStringLiteral(", ") % timeLeftText(*leftMs);
}

QString TransferEstimate::sizeText(qint64 bytes)
{
    if (bytes < 1000)
        return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
    static const char* const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000.0;
    int unit = 0;
    // 999.96 kB reads as "1.0 MB", not "1000.0 kB".
    while (value >= 999.95 && unit + 1 < int(std::size(units))) {
        value /= 1000.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) % QLatin1Char(' ') % QLatin1String(units[unit]);
}

QString TransferEstimate::timeLeftText(qint64 milliseconds)
{
    // Rounded up to a whole second, so a last moment never reads as none.
    const qint64 seconds = std::max<qint64>(1, (milliseconds + 999) / 1000);
    if (seconds < 60)
        return QStringLiteral("about %1 s left").arg(seconds);
    const qint64 minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return QStringLiteral("about %1 min left").arg(minutes);
    const qint64 hours = minutes / 60;
    if (minutes % 60 == 0)
        return QStringLiteral("about %1 h left").arg(hours);
    return QStringLiteral("about %1 h %2 min left").arg(hours).arg(minutes % 60);
}
