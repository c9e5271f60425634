#pragma once

#include <QByteArray>
#include <QString>

// A certificate's SHA-256 fingerprint in the forms people read and type: the
// question shows it as openssl prints it ("AB:CD:..."), the settings keep it as
// plain hexadecimal digits, and the command line takes either.
class CertificateFingerprint
{
public:
    static constexpr int DigestBytes = 32;

    // "AB:CD:...": 32 pairs of upper-case hexadecimal digits separated by ":".
    static QString text(const QByteArray& digest);
    // "abcd...": 64 lower-case hexadecimal digits.
    static QString hex(const QByteArray& digest);
    // The 32 bytes of a fingerprint given as 64 hexadecimal digits, in either case,
    // with or without ":" between the pairs; empty when the text is not one.
    static QByteArray parse(const QString& text);
};
