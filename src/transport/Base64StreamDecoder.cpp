#include "transport/Base64StreamDecoder.h"

#include "core/KestrelError.h"
#include "core/WholeWrite.h"

#include <QIODevice>

#include <algorithm>

namespace {

constexpr qsizetype BufferSize = 64 * 1024;

// The value of each base64 character; Skip for line breaks and blanks, Invalid for
// anything else ("=" is handled on its own).
constexpr qint8 Skip = -2;
constexpr qint8 Invalid = -1;

struct SextetTable
{
    qint8 values[256];
    constexpr SextetTable() : values()
    {
        for (qint8& value : values)
            value = Invalid;
        for (int i = 0; i < 26; ++i) {
            values['A' + i] = static_cast<qint8>(i);
            values['a' + i] = static_cast<qint8>(26 + i);
        }
        for (int i = 0; i < 10; ++i)
            values['0' + i] = static_cast<qint8>(52 + i);
        values[static_cast<unsigned char>('+')] = 62;
        values[static_cast<unsigned char>('/')] = 63;
        for (const char blank : {'\r', '\n', ' ', '\t'})
            values[static_cast<unsigned char>(blank)] = Skip;
    }
};

constexpr SextetTable sextets;

// The same values placed where they land in a group of four, so that a group is four
// lookups joined by OR; a character outside the alphabet sets a bit above the 24.
constexpr quint32 NotInAlphabet = 0x01000000;

struct GroupTables
{
    quint32 values[4][256];
    constexpr GroupTables() : values()
    {
        for (int position = 0; position < 4; ++position) {
            for (int c = 0; c < 256; ++c) {
                const qint8 sextet = sextets.values[c];
                values[position][c] = sextet < 0
                                          ? NotInAlphabet
                                          : static_cast<quint32>(sextet) << (18 - 6 * position);
            }
        }
    }
};

constexpr GroupTables groupTables;

[[noreturn]] void damaged()
{
    throw KestrelError(QStringLiteral("The attachment's base64 text is damaged."));
}

} // namespace

Base64StreamDecoder::Base64StreamDecoder(QIODevice& output)
    : m_output(output), m_buffer(BufferSize, Qt::Uninitialized)
{}

void Base64StreamDecoder::write(QByteArrayView encoded)
{
    const auto* next = reinterpret_cast<const unsigned char*>(encoded.data());
    const auto* const end = next + encoded.size();
    while (next != end) {
        next = decodeWholeGroups(next, end);
        if (next != end)
            decodeOne(static_cast<char>(*next++));
    }
}

const unsigned char* Base64StreamDecoder::decodeWholeGroups(const unsigned char* next,
                                                            const unsigned char* end)
{
    // The bulk of a line: four characters of the alphabet at a time, between group
    // boundaries; anything else (a line break, padding, damage) goes one by one.
    if (m_count != 0 || m_padding != 0)
        return next;
    for (;;) {
        const qsizetype room = (BufferSize - m_filled) / 3;
        const qsizetype groups = std::min<qsizetype>((end - next) / 4, room);
        char* out = m_buffer.data() + m_filled;
        const unsigned char* const stop = next + 4 * groups;
        while (next != stop) {
            const quint32 bits = groupTables.values[0][next[0]] | groupTables.values[1][next[1]] |
                                 groupTables.values[2][next[2]] | groupTables.values[3][next[3]];
            if (bits >= NotInAlphabet)
                break;
            out[0] = static_cast<char>(bits >> 16);
            out[1] = static_cast<char>(bits >> 8);
            out[2] = static_cast<char>(bits);
            out += 3;
            next += 4;
        }
        m_filled = out - m_buffer.data();
        if (next != stop || groups < room)
            return next;
        flushBuffer();
    }
}

void Base64StreamDecoder::decodeOne(char c)
{
    const qint8 value = sextets.values[static_cast<unsigned char>(c)];
    if (value == Skip)
        return;
    if (value >= 0 && m_padding == 0) {
        m_bits = (m_bits << 6) | static_cast<quint32>(value);
        if (++m_count < 4)
            return;
        char* out = m_buffer.data() + m_filled;
        out[0] = static_cast<char>((m_bits >> 16) & 0xff);
        out[1] = static_cast<char>((m_bits >> 8) & 0xff);
        out[2] = static_cast<char>(m_bits & 0xff);
        m_filled += 3;
        m_bits = 0;
        m_count = 0;
        if (m_filled > BufferSize - 3)
            flushBuffer();
        return;
    }
    // Padding completes a group of two or three characters; nothing but padding
    // may follow it.
    if (c != '=' || m_count + m_padding < 2 || m_count + m_padding >= 4)
        damaged();
    ++m_padding;
    if (m_count + m_padding == 4) {
        m_buffer[m_filled++] = static_cast<char>((m_bits >> (m_count == 2 ? 4 : 10)) & 0xff);
        if (m_count == 3)
            m_buffer[m_filled++] = static_cast<char>((m_bits >> 2) & 0xff);
        m_count = 4;
    }
}

void Base64StreamDecoder::finish()
{
    // Text without its padding is read as if it were there.
    if (m_padding == 0 && m_count == 1)
        damaged();
    if (m_padding == 0 && m_count >= 2) {
        m_buffer[m_filled++] = static_cast<char>((m_bits >> (m_count == 2 ? 4 : 10)) & 0xff);
        if (m_count == 3)
            m_buffer[m_filled++] = static_cast<char>((m_bits >> 2) & 0xff);
    } else if (m_padding > 0 && m_count != 4) {
        damaged();
    }
    m_count = 0;
    m_bits = 0;
    flushBuffer();
}

void Base64StreamDecoder::flushBuffer()
{
    if (m_filled == 0)
        return;
    if (!writeWhole(m_output, m_buffer.constData(), m_filled))
        throw KestrelError(
            QStringLiteral("The attachment could not be written: %1").arg(m_output.errorString()));
    m_decoded += m_filled;
    m_filled = 0;
}
