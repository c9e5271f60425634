#include "backupdata/ExcludeListFile.h"

#include "core/KestrelError.h"
#include "core/PrivateFiles.h"

#include <QFile>
#include <QSaveFile>

namespace ExcludeListFile {

QList<QByteArray> readLines(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw KestrelError(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw KestrelError(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    const qsizetype ctrlZ = text.indexOf('\x1a');
    if (ctrlZ >= 0)
        text.truncate(ctrlZ);
    QList<QByteArray> lines;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            lines.append(line);
    }
    return lines;
}

void writeLines(const QString& path, const QList<QByteArray>& lines)
{
    QByteArray content;
    for (const QByteArray& line : lines) {
        // A line break inside an entry would make two patterns of it.
        QByteArray kept = line;
        kept.replace('\r', ' ').replace('\n', ' ').replace('\x1a', ' ');
        if (kept.trimmed().isEmpty())
            continue;
        content.append(kept);
        content.append("\r\n");
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !PrivateFiles::makePrivate(file) ||
        file.write(content) != content.size() || !file.commit())
        throw KestrelError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

} // namespace ExcludeListFile
