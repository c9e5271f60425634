#include "transport/ArchivePartPlan.h"

#include "transport/IdMessageWriter.h"

#include <limits>

namespace {

int digits(qint64 number)
{
    int count = 1;
    for (; number >= 10; number /= 10)
        ++count;
    return count;
}

qint64 powerOfTen(int exponent)
{
    qint64 value = 1;
    for (int i = 0; i < exponent; ++i)
        value *= 10;
    return value;
}

} // namespace

qint64 ArchivePartPlan::bytesFitting(qint64 budget)
{
    constexpr qint64 lineBytes = TIdMessageWriter::Base64BlockSize;
    constexpr qint64 lineLength = lineBytes / 3 * 4 + 2;
    if (budget <= 0)
        return 0;
    const qint64 fullLines = budget / lineLength;
    // A last, shorter line: four characters for every three bytes begun, and CR LF.
    const qint64 rest = budget % lineLength;
    const qint64 restBytes = rest >= 6 ? qMin(lineBytes - 1, (rest - 2) / 4 * 3) : 0;
    return fullLines * lineBytes + restBytes;
}

qint64 ArchivePartPlan::headroom(qint64 limit)
{
    return qMax<qint64>(0, qMin(Headroom, limit / 4));
}

std::optional<ArchivePartPlan> ArchivePartPlan::make(qint64 archiveBytes, qint64 limit,
                                                     const Overhead& overhead)
{
    // The overhead changes only with the digits of the two numbers, so each count
    // of digits is tried once, with the tightest part of it deciding the part size.
    constexpr int mostDigits = std::numeric_limits<int>::digits10;
    for (int countDigits = 1; countDigits <= mostDigits; ++countDigits) {
        const auto largestCount = static_cast<int>(powerOfTen(countDigits) - 1);
        qint64 partBytes = std::numeric_limits<qint64>::max();
        for (int partDigits = 1; partDigits <= countDigits; ++partDigits) {
            const auto part = static_cast<int>(powerOfTen(partDigits - 1));
            partBytes = qMin(partBytes, bytesFitting(limit - overhead(part, largestCount)));
        }
        if (partBytes <= 0)
            return std::nullopt;
        const qint64 needed = qMax<qint64>(1, (archiveBytes + partBytes - 1) / partBytes);
        // A count with fewer digits leaves more room in each message, so the first
        // count of digits that holds the archive gives the fewest parts.
        if (needed <= largestCount)
            return ArchivePartPlan(archiveBytes, static_cast<int>(needed), partBytes);
    }
    return std::nullopt;
}

qint64 ArchivePartPlan::length(int part) const
{
    return part < m_count ? m_partBytes : m_archiveBytes - offset(part);
}

QString ArchivePartPlan::partName(const QString& archiveName, int part, int count)
{
    return archiveName + QLatin1Char('.') +
           QStringLiteral("%1").arg(part, qMax(3, digits(count)), 10, QLatin1Char('0'));
}

QString ArchivePartPlan::subjectSuffix(int part, int count)
{
    return QStringLiteral(" (part %1 of %2)").arg(part).arg(count);
}
