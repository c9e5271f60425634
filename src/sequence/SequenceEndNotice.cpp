#include "sequence/SequenceEndNotice.h"

#include "core/EditionProfile.h"
#include "sequence/SequenceSummary.h"

namespace {

QString summaryText(const QString& outcome)
{
    return currentProfile().name + QStringLiteral(": ") + outcome;
}

// Small amounts in bytes, larger ones in the summary's megabytes.
QString bytesText(double bytes)
{
    if (bytes < 1000000.0)
        return QString::number(bytes, 'f', 0) + QStringLiteral(" bytes");
    return megabytesText(bytes) + QStringLiteral(" MB");
}

} // namespace

SequenceEndNotice SequenceEndNotice::succeeded(int filesSent, double bytesSent, bool maxReached,
                                               int filesWaiting)
{
    QString body;
    if (filesSent == 0) {
        body = QStringLiteral("Nothing needed backing up.");
    } else {
        body = (filesSent == 1 ? QStringLiteral("1 file backed up, ")
                               : QStringLiteral("%1 files backed up, ").arg(filesSent)) +
               bytesText(bytesSent) + QStringLiteral(" sent.");
    }
    // A sequence the byte limit stopped counts as successful, but the user should know
    // that files are still waiting.
    if (filesWaiting >= 0)
        body += QStringLiteral("  The most messages for one sequence were sent; %1 wait for the "
                               "next sequence.")
                    .arg(filesWaiting == 1 ? QStringLiteral("1 file")
                                           : QStringLiteral("%1 files").arg(filesWaiting));
    else if (maxReached)
        body += QStringLiteral("  The maximum number of bytes for one sequence was reached; the "
                               "rest is backed up in the next sequence.");
    return {summaryText(QStringLiteral("back up complete")), body};
}

SequenceEndNotice SequenceEndNotice::failed(const QString& reasonLine, bool incomplete)
{
    return {summaryText(incomplete ? QStringLiteral("back up incomplete")
                                   : QStringLiteral("back up failed")),
            reasonLine};
}
