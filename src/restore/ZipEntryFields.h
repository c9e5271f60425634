#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <initializer_list>
#include <optional>

// The fields of a zip entry's headers that need more than a read: extra fields,
// zip64 sizes, the extended time and the entry's name.
namespace ZipEntryFields {

// What a 32-bit size or offset holds when the zip64 extra field has the value.
constexpr quint32 Unknown32 = 0xFFFFFFFFu;

// The data of the extra field with this id, if the extra block holds one.
std::optional<QByteArray> extraField(const QByteArray& extra, quint16 id);
// Replaces each field that holds the zip64 marker with the next value of the zip64
// extra field, in the order the fields are listed; false when the field is missing
// or short.
bool widen(const QByteArray& extra, std::initializer_list<quint64*> fields);
// The modification time of the extended-timestamp field, if there is one.
std::optional<QDateTime> extendedTime(const QByteArray& extra);
// Names without the UTF-8 flag are in the DOS code page, as zip readers take them.
QString entryName(const QByteArray& raw, bool utf8);
// A name that is one plain file name: no folder, no "." or "..", no NUL.
bool isPlainName(const QString& name);

} // namespace ZipEntryFields
