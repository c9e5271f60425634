#pragma once

#include <QDateTime>
#include <QString>

// The program's one date-time text, "dd/MM/yyyy hh:mm:ss", used in log fields,
// status lines, LastBackUp and the Summary page.
QString dateTimeText(const QDateTime& moment);
// "yy-MM-dd hh-mm-ss": sequence data file names and log archive names.
QString sequenceDateStamp(const QDateTime& moment);
// "dd/MM/yyyy": the date-only text (FolderSearchDate).
QString dateText(const QDate& date);
