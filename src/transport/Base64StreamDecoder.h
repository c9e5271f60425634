#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

// Decodes base64 (RFC 2045 section 6.8) as it arrives, in pieces of any size, into a
// device, so that an attachment of any size passes through a small buffer. Line
// breaks and blanks are skipped; any other character outside the alphabet, or text
// after the padding, is an error, so a damaged attachment is never taken as whole.
class Base64StreamDecoder
{
public:
    explicit Base64StreamDecoder(QIODevice& output);

    // Throws KestrelError on a character that is not base64 or when the device does
    // not take the bytes.
    void write(QByteArrayView encoded);
    // Writes what is left; throws KestrelError when the text ends inside a group.
    void finish();
    qint64 decodedBytes() const { return m_decoded; }

private:
    const unsigned char* decodeWholeGroups(const unsigned char* next, const unsigned char* end);
    void decodeOne(char c);
    void flushBuffer();

    QIODevice& m_output;
    quint32 m_bits = 0;
    int m_count = 0;
    int m_padding = 0;
    QByteArray m_buffer;
    qsizetype m_filled = 0;
    qint64 m_decoded = 0;
};
