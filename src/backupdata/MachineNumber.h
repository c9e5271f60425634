#pragma once

#include <QByteArray>
#include <QString>

// The machine number identifies this computer in save note and request subjects. It
// is an HMAC-SHA256 over a fixed Kestrel id, keyed with the machine's own identity,
// reduced to an unsigned 32-bit number: the same on every run of one machine, at most
// ten decimal digits, and the raw machine identity never leaves the computer.

// The key: the bytes of the machine-id file (surrounding blanks and the line end
// removed); when that file is missing or empty, the file-system id of "/".
QByteArray machineIdentityKey(const QString& machineIdPath = QStringLiteral("/etc/machine-id"));

// The number for a given key; the first four bytes of the HMAC, big-endian.
quint32 machineNumberForKey(const QByteArray& key);

// The decimal text of this computer's machine number.
QString machineNumberText();
