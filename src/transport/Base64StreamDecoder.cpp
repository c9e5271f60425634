#include "transport/Base64StreamDecoder.h"

#include "core/KestrelError.h"

#include <QIODevice>

namespace {

constexpr qsizetype BufferSize = 64 * 1024;

int sextet(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

[[noreturn]] void damaged()
{
    throw KestrelError(QStringLiteral("The attachment's base64 text is damaged."));
}

} // namespace

Base64StreamDecoder::Base64StreamDecoder(QIODevice& output) : m_output(output)
{
    m_buffer.reserve(BufferSize);
}

void Base64StreamDecoder::write(QByteArrayView encoded)
{
    for (const char c : encoded) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
            continue;
        if (c == '=') {
            // Padding completes a group of two or three characters, nothing else.
            if (m_count + m_padding < 2 || m_count + m_padding >= 4)
                damaged();
            ++m_padding;
            if (m_count + m_padding == 4) {
                m_buffer.append(static_cast<char>((m_bits >> (m_count == 2 ? 4 : 10)) & 0xff));
                if (m_count == 3)
                    m_buffer.append(static_cast<char>((m_bits >> 2) & 0xff));
                m_count = 4;
            }
            continue;
        }
        const int value = sextet(c);
        if (value < 0 || m_padding > 0)
            damaged();
        m_bits = (m_bits << 6) | static_cast<quint32>(value);
        if (++m_count == 4) {
            m_buffer.append(static_cast<char>((m_bits >> 16) & 0xff));
            m_buffer.append(static_cast<char>((m_bits >> 8) & 0xff));
            m_buffer.append(static_cast<char>(m_bits & 0xff));
            m_bits = 0;
            m_count = 0;
            if (m_buffer.size() >= BufferSize - 3)
                flushBuffer();
        }
    }
}

void Base64StreamDecoder::finish()
{
    // Text without its padding is read as if it were there.
    if (m_padding == 0 && m_count == 1)
        damaged();
    if (m_padding == 0 && m_count >= 2) {
        m_buffer.append(static_cast<char>((m_bits >> (m_count == 2 ? 4 : 10)) & 0xff));
        if (m_count == 3)
            m_buffer.append(static_cast<char>((m_bits >> 2) & 0xff));
    } else if (m_padding > 0 && m_count != 4) {
        damaged();
    }
    m_count = 0;
    m_bits = 0;
    flushBuffer();
}

void Base64StreamDecoder::flushBuffer()
{
    if (m_buffer.isEmpty())
        return;
    if (m_output.write(m_buffer) != m_buffer.size())
        throw KestrelError(
            QStringLiteral("The attachment could not be written: %1").arg(m_output.errorString()));
    m_decoded += m_buffer.size();
    m_buffer.clear();
}
