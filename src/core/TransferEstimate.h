#pragma once

#include <QString>

#include <optional>

// One short line about a long transfer: how much of it is done and, once the rate is
// known, about how long the rest takes ("12.3 MB of 450.0 MB sent, about 3 min left").
// Where a set pause follows each file, the time left is the bytes left at the rate of
// the time outside the pauses, plus the pauses of the files left: a rate over all the
// time would make a small first file, mostly pause, promise days. Times are the
// clock's ticks, so a test moves them on without waiting.
class TransferEstimate
{
public:
    // New lines come at most this often: a run of small files would otherwise give
    // hundreds a second.
    static constexpr qint64 UpdateIntervalMs = 250;
    // Before this much time has passed, and no file has ended, the rate says too
    // little to estimate from.
    static constexpr qint64 RateKnownAfterMs = 3000;

    explicit TransferEstimate(QString verb) : m_verb(std::move(verb)) {}

    // Starts counting at nowMs; bytesDue is negative when it is not known. filesDue
    // files each followed by a pause of pauseMs.
    void start(qint64 bytesDue, qint64 nowMs, qint64 filesDue = 0, qint64 pauseMs = 0);
    bool started() const { return m_started; }
    // How far the transfer has got; true when the line changed and is to be shown, at
    // most once per UpdateIntervalMs. A line held back by the interval comes with the
    // next call after it. fileEnded: one more file is done, its pause included.
    bool update(qint64 bytesDone, qint64 nowMs, bool fileEnded = false);
    // The same, whatever the interval: for the last line of a transfer.
    bool flush(qint64 bytesDone, qint64 nowMs);
    // For reports that carry the whole with each, as a restore's do: the first starts
    // the count, the one with all done always shows.
    bool report(qint64 bytesDone, qint64 bytesDue, qint64 nowMs);
    const QString& text() const { return m_text; }

    // The line itself, with the time left when it is known.
    static QString describe(qint64 bytesDone, qint64 bytesDue, std::optional<qint64> leftMs,
                            const QString& verb);
    // "512 bytes", "12.3 MB", in powers of 1000 like the totals of the Summary page.
    static QString sizeText(qint64 bytes);
    // "about 40 s left", "about 3 min left", "about 2 h 5 min left".
    static QString timeLeftText(qint64 milliseconds);

private:
    std::optional<qint64> timeLeftMs(qint64 bytesDone, qint64 nowMs) const;

    QString m_verb;
    bool m_started = false;
    qint64 m_bytesDue = -1;
    qint64 m_filesDue = 0;
    qint64 m_pauseMs = 0;
    qint64 m_filesDone = 0;
    qint64 m_startMs = 0;
    qint64 m_shownMs = 0;
    bool m_shownOnce = false;
    QString m_text;
};
