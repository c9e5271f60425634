#include "core/DateTimeText.h"

QString dateTimeText(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
}

QString sequenceDateStamp(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("yy-MM-dd hh-mm-ss"));
}

QString dateText(const QDate& date)
{
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}
