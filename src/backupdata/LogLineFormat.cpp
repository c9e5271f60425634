#include "backupdata/LogLineFormat.h"

namespace {

QString dateFormat()
{
    return QStringLiteral("dd/MM/yyyy");
}

QString dateTimeFormat()
{
    return QStringLiteral("dd/MM/yyyy hh:mm:ss");
}

} // namespace

QString formatLogDateTime(const QDateTime& moment)
{
    if (!moment.isValid())
        return QString();
    if (moment.time() == QTime(0, 0))
        return moment.toString(dateFormat());
    return moment.toString(dateTimeFormat());
}

QDateTime parseLogDateTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    QDateTime moment = QDateTime::fromString(trimmed, dateTimeFormat());
    if (moment.isValid())
        return moment;
    const QDate date = QDate::fromString(trimmed, dateFormat());
    if (!date.isValid())
        return QDateTime();
    return date.startOfDay();
}

QString joinLogFields(const QString& fileName, const QDateTime& fileDate, const QString& sizeText,
                      const QDateTime& backupDate, int id)
{
    const QStringList fields{fileName, formatLogDateTime(fileDate), sizeText,
                             formatLogDateTime(backupDate), QString::number(id)};
    return fields.join(logFieldSeparator);
}
