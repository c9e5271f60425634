#include "backupdata/SelectionListText.h"

#include "core/KestrelError.h"

#include <QIODevice>
#include <QStringDecoder>

#include <cstring>

namespace {

constexpr char endOfText = 0x1A;
constexpr qsizetype chunkSize = 1 << 20;

bool isAscii(QByteArrayView bytes)
{
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

SelectionListTextReader::SelectionListTextReader(QIODevice& device, CtrlZ ctrlZ)
    : m_device(device), m_ctrlZ(ctrlZ)
{}

bool SelectionListTextReader::fill()
{
    if (m_ended)
        return false;
    m_buffer.resize(chunkSize);
    const qint64 count = m_device.read(m_buffer.data(), chunkSize);
    if (count < 0)
        throw KestrelError(m_device.errorString());
    m_buffer.resize(count);
    m_position = 0;
    if (count == 0)
        m_ended = true;
    return count > 0;
}

bool SelectionListTextReader::readLineBytes(QByteArray* line)
{
    // Skip blanks, control characters and empty lines up to the first byte of the entry.
    for (;;) {
        if (m_position >= m_buffer.size() && !fill())
            return false;
        const char byte = m_buffer.at(m_position);
        if (byte == endOfText && m_ctrlZ == CtrlZ::EndsText) {
            m_ended = true;
            m_buffer.clear();
            return false;
        }
        if (static_cast<unsigned char>(byte) > 32)
            break;
        if (byte == '\n')
            ++m_nextLineNumber;
        ++m_position;
    }
    m_lineNumber = m_nextLineNumber;
    line->resize(0);
    for (;;) {
        const char* start = m_buffer.constData() + m_position;
        const qsizetype available = m_buffer.size() - m_position;
        const void* newline = std::memchr(start, '\n', available);
        const qsizetype length = newline ? static_cast<const char*>(newline) - start : available;
        const void* stop = std::memchr(start, endOfText, length);
        if (stop) {
            const qsizetype before = static_cast<const char*>(stop) - start;
            line->append(start, before);
            if (m_ctrlZ == CtrlZ::EndsLine) {
                // What follows the Ctrl-Z is read as the start of the next line.
                m_position += before + 1;
                break;
            }
            m_ended = true;
            m_buffer.clear();
            m_position = 0;
            break;
        }
        line->append(start, length);
        m_position += length;
        if (newline) {
            ++m_position;
            ++m_nextLineNumber;
            break;
        }
        if (!fill())
            break;
    }
    if (line->endsWith('\r'))
        line->chop(1);
    return true;
}

bool SelectionListTextReader::readLine(QString* line)
{
    if (!readLineBytes(&m_lineBytes))
        return false;
    *line = decodeListLine(m_lineBytes);
    return true;
}

QString decodeListLine(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

QByteArray encodeListLine(const QString& line)
{
    return line.toUtf8();
}

bool isListableName(const QString& name)
{
    for (const QChar character : name) {
        if (character == u'\n' || character == u'\r' || character == u'\x1A')
            return false;
    }
    return true;
}

QString unlistableNameMessage(const QString& name)
{
    QString shown = name;
    shown.replace(u'\n', QStringLiteral("\\n"));
    shown.replace(u'\r', QStringLiteral("\\r"));
    shown.replace(u'\x1A', QStringLiteral("^Z"));
    return QStringLiteral("\"%1\" contains a line break or Ctrl-Z and cannot be kept in a "
                          "backup list; it was skipped.")
        .arg(shown);
}

bool listTextLess(const QString& left, const QString& right)
{
    const int order = QString::compare(left, right, Qt::CaseInsensitive);
    if (order != 0)
        return order < 0;
    return left < right;
}
