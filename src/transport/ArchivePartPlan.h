#pragma once

#include <QString>

#include <functional>
#include <optional>

// How an archive too large for one message is cut into byte parts, each mailed as a
// message of its own that the server takes. The parts are ranges of the one archive
// file, so nothing but the archive needs room on disk, and joined in order they give
// the archive back.
class ArchivePartPlan
{
public:
    // The bytes of the message that carries part `part` of `count`, all but the
    // base64 lines of the part's bytes. It may depend on how many digits the two
    // numbers have, never on their values.
    using Overhead = std::function<qint64(int part, int count)>;

    // The plan with the fewest parts whose messages each take at most limit bytes;
    // none when not even a part of one byte fits.
    static std::optional<ArchivePartPlan> make(qint64 archiveBytes, qint64 limit,
                                               const Overhead& overhead);

    int count() const { return m_count; }
    // The bytes of every part but the last, which holds what remains.
    qint64 partBytes() const { return m_partBytes; }
    // Part numbers run from 1 to count().
    qint64 offset(int part) const { return (part - 1) * m_partBytes; }
    qint64 length(int part) const;

    // "<archive>.001": three digits, more when there are more parts, so the names
    // sort in order.
    static QString partName(const QString& archiveName, int part, int count);
    // " (part 2 of 5)", after the message's own subject.
    static QString subjectSuffix(int part, int count);
    // The most bytes whose base64 lines (76 characters and CR LF each) fit in budget.
    static qint64 bytesFitting(qint64 budget);

    // The bytes a message stays below the server's limit: servers count the headers
    // they add on the way (Received:, authentication results, DKIM and ARC
    // signatures, spam scores: a few kilobytes) against their limit. 16 KiB, or a
    // quarter of a limit below 64 KiB.
    static qint64 headroom(qint64 limit);
    static constexpr qint64 Headroom = 16 * 1024;
    // The largest message of the one new try after the server refused a message of
    // refusedBytes for its size: half of it, which leaves room for whatever the server
    // adds up to half its limit.
    static qint64 retryLimit(qint64 refusedBytes) { return refusedBytes / 2; }

private:
    ArchivePartPlan(qint64 archiveBytes, int count, qint64 partBytes)
        : m_archiveBytes(archiveBytes), m_count(count), m_partBytes(partBytes)
    {}

    qint64 m_archiveBytes;
    int m_count;
    qint64 m_partBytes;
};
