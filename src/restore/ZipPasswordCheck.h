#pragma once

#include <QByteArray>
#include <QString>

// Whether an archive's one entry opens with a password, told from its first bytes
// alone: the local header, the WinZip AES salt and the password verifier after it.
// The verifier lets a wrong password through once in 65536, which the full check of
// a restore (the authentication code) then catches; for choosing which notes a
// rebuilt log may take it is enough.
class ZipPasswordCheck
{
public:
    enum class Verdict
    {
        Opens,
        WrongPassword,
        // Stored in the clear or with the old PKWARE cipher.
        NotProtected,
        Unreadable
    };

    // The bytes from the archive's start that hold the header and verifier, at most:
    // a name and extra field of a full 64 KiB each.
    static constexpr qsizetype MaxHeadBytes = 30 + 2 * 65535 + 16 + 2;

    // How many bytes from the start the check needs, given at least the fixed part
    // of the local header (30 bytes); 0 when the header is unreadable.
    static qsizetype bytesNeeded(const QByteArray& head);
    static Verdict check(const QByteArray& head, const QString& password);
};
