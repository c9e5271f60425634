#pragma once

#include <QByteArray>

// PBKDF2 with HMAC-SHA1 (RFC 8018), as WinZip AES derives its keys: the HMAC's inner
// and outer states are worked out once per password rather than once per iteration,
// which is most of the cost of opening a small archive.
QByteArray pbkdf2HmacSha1(const QByteArray& password, const QByteArray& salt, int iterations,
                          int length);
