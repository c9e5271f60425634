#include "backupdata/ExcludeListFile.h"

#include "backupdata/SelectionListText.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

namespace ExcludeListFile {

QByteArray readText(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    QByteArray text;
    if (file.open(QIODevice::ReadOnly))
        text = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError)
        throw KestrelError(QStringLiteral("The exclusion patterns in \"%1\" could not be read: %2")
                               .arg(path, file.errorString()));
    return text;
}

QList<QByteArray> readLines(const QString& path)
{
    QBuffer buffer;
    buffer.setData(readText(path));
    buffer.open(QIODevice::ReadOnly);
    SelectionListTextReader reader(buffer);
    QList<QByteArray> lines;
    QByteArray line;
    while (reader.readLineBytes(&line))
        lines.append(line);
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
