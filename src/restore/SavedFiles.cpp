#include "restore/SavedFiles.h"

#include <QStringList>

namespace {

// The decoded bytes of an attachment from its size as the server gives it: base64
// in lines of 76 characters and CR LF carries 57 bytes in every 78.
qint64 decodedSize(const MailboxNote& note)
{
    if (note.attachmentEncoding != "base64")
        return note.attachmentEncodedSize;
    const qint64 lines = note.attachmentEncodedSize / 78;
    const qint64 rest = qMax<qint64>(0, note.attachmentEncodedSize % 78 - 2);
    return lines * 57 + rest / 4 * 3;
}

} // namespace

qint64 SavedVersion::archiveSize() const
{
    qint64 total = 0;
    for (const MailboxNote& note : parts)
        total = addSizes(total, decodedSize(note));
    return total;
}

QList<int> SavedVersion::missingParts() const
{
    QList<int> missing;
    for (int part = 1, at = 0; part <= partCount; ++part) {
        if (at < partNumbers.size() && partNumbers.at(at) == part)
            ++at;
        else
            missing.append(part);
    }
    return missing;
}

namespace {

// "2", "2 and 4", "2, 4 and 6-9": runs of three or more as a range.
QString numbersText(const QList<int>& numbers)
{
    QStringList runs;
    for (qsizetype i = 0; i < numbers.size();) {
        qsizetype end = i;
        while (end + 1 < numbers.size() && numbers.at(end + 1) == numbers.at(end) + 1)
            ++end;
        if (end - i >= 2) {
            runs.append(QStringLiteral("%1-%2").arg(numbers.at(i)).arg(numbers.at(end)));
        } else {
            for (qsizetype j = i; j <= end; ++j)
                runs.append(QString::number(numbers.at(j)));
        }
        i = end + 1;
    }
    if (runs.size() < 2)
        return runs.join(QString());
    const QString last = runs.takeLast();
    return runs.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

} // namespace

QString SavedVersion::fault() const
{
    if (!problem.isEmpty())
        return QStringLiteral("not restorable: ") + problem;
    const QList<int> missing = missingParts();
    if (missing.isEmpty())
        return QString();
    return QStringLiteral("incomplete: %1 %2 of %3 %4 missing")
        .arg(missing.size() == 1 ? QStringLiteral("part") : QStringLiteral("parts"),
             numbersText(missing))
        .arg(partCount)
        .arg(missing.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
}
