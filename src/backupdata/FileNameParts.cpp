#include "backupdata/FileNameParts.h"

namespace {

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

namespace FileNameParts {

qsizetype afterLeadingDots(const QString& name)
{
    qsizetype start = 0;
    while (start < name.size() && name.at(start) == QLatin1Char('.'))
        ++start;
    return start;
}

QString leftWhole(const QString& text, qsizetype length)
{
    QString cut = text.left(length);
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut;
}

QString namePartOf(const QString& path)
{
    const QString name = fileNameOf(path);
    const qsizetype dot = name.indexOf(QLatin1Char('.'), afterLeadingDots(name));
    return dot < 0 ? name : name.left(dot);
}

QString extensionTagOf(const QString& path)
{
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < afterLeadingDots(name))
        return QString();
    return QLatin1Char('-') + name.mid(dot + 1);
}

void insertCopyNumber(QString& path, int number)
{
    // Only the file's own name is numbered: a dot in a folder's name (a hidden folder,
    // "ann.smith", a stick named "USB.Stick") must not move the copy elsewhere.
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    qsizetype afterDots = nameStart;
    while (afterDots < path.size() && path.at(afterDots) == QLatin1Char('.'))
        ++afterDots;
    const qsizetype dot = path.indexOf(QLatin1Char('.'), afterDots);
    path.insert(dot < 0 ? path.size() : dot, QStringLiteral(" (%1) ").arg(number));
}

} // namespace FileNameParts
