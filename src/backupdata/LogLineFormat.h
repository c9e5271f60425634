#pragma once

#include <QDateTime>
#include <QLatin1String>
#include <QString>

// The backup log's line format, shared by every writer and reader of the log so that
// a record written by the file object parses back in the log list and vice versa.
//
// A record is one line of five fields joined by ";" in this order: file name, file
// date, size text, backup date, ID. No field is quoted or escaped. Lines end in CR LF
// and the file is UTF-8.

// The line end written after every record.
inline constexpr QLatin1String logLineEnd{"\r\n"};
inline constexpr QChar logFieldSeparator{u';'};

// "dd/MM/yyyy hh:mm:ss", or the date alone ("dd/MM/yyyy") when the time is exactly
// midnight. An invalid date-time gives an empty text.
QString formatLogDateTime(const QDateTime& moment);

// Reads both forms that formatLogDateTime writes, as local time. Returns an invalid
// QDateTime when the text is neither form, so the caller can report a conversion
// error for the line.
QDateTime parseLogDateTime(const QString& text);

// One record line, without its line end.
QString joinLogFields(const QString& fileName, const QDateTime& fileDate, const QString& sizeText,
                      const QDateTime& backupDate, int id);
