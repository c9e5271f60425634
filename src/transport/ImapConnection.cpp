#include "transport/ImapConnection.h"

#include "core/KestrelError.h"
#include "transport/SmtpProblemText.h"

#include <QSslSocket>
#include <QThread>

#include <algorithm>
#include <optional>

namespace {

// A search reply for a mailbox of a million messages fits in a line of this size;
// longer lines, and longer replies with their literals, are refused so that a server
// cannot fill memory. Streamed literals do not count.
constexpr qint64 MaxLineBytes = 8 * 1024 * 1024;
constexpr qint64 MaxResponseBytes = 16 * 1024 * 1024;
constexpr qint64 ReadChunkSize = 64 * 1024;

struct TrailingLiteral
{
    qsizetype start = -1;
    qint64 size = 0;
};

// The "{n}" or "{n+}" (or "~{n}") that ends a line and announces a literal.
std::optional<TrailingLiteral> trailingLiteral(const QByteArray& line)
{
    if (!line.endsWith('}'))
        return std::nullopt;
    const qsizetype open = line.lastIndexOf('{');
    if (open < 0)
        return std::nullopt;
    QByteArray digits = line.mid(open + 1, line.size() - open - 2);
    if (digits.endsWith('+'))
        digits.chop(1);
    if (digits.isEmpty() || digits.size() > 18 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    TrailingLiteral literal;
    literal.start = open > 0 && line[open - 1] == '~' ? open - 1 : open;
    literal.size = digits.toLongLong();
    return literal;
}

// Whether the fetch item before a literal is `item`, alone or with its "<origin>".
bool isItemBefore(const QByteArray& response, qsizetype literalStart, const QByteArray& item)
{
    if (literalStart < 1 || response[literalStart - 1] != ' ')
        return false;
    const QByteArray before = response.left(literalStart - 1);
    const qsizetype start = std::max(before.lastIndexOf(' '), before.lastIndexOf('(')) + 1;
    const QByteArray name = before.mid(start);
    if (!name.toUpper().startsWith(item.toUpper()))
        return false;
    const QByteArray origin = name.mid(item.size());
    return origin.isEmpty() || (origin.startsWith('<') && origin.endsWith('>'));
}

} // namespace

ImapConnection::ImapConnection() : m_socket(new QSslSocket)
{}

ImapConnection::~ImapConnection()
{
    // A socket belongs to the thread that made it; from any other it is only handed
    // back for deletion there.
    if (m_socket->thread() == QThread::currentThread()) {
        m_socket->abort();
        delete m_socket;
    } else {
        QObject::disconnect(m_socket, nullptr, nullptr, nullptr);
        m_socket->deleteLater();
    }
}

QString ImapConnection::serverName() const
{
    return smtpServerText(host, port);
}

bool ImapConnection::isConnected()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    // Without an event loop the socket learns of a close only when it looks.
    if (m_socket->bytesAvailable() == 0)
        m_socket->waitForReadyRead(0);
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void ImapConnection::close()
{
    m_socket->abort();
}

QByteArray ImapConnection::readResponse(StreamedLiteral* literal)
{
    QByteArray response;
    for (;;) {
        const QByteArray line = readLine();
        response += line;
        if (response.size() > MaxResponseBytes)
            failMalformed(QStringLiteral("a reply that is too long"));
        const std::optional<TrailingLiteral> announced = trailingLiteral(line);
        if (!announced)
            return response;
        const qsizetype start = response.size() - line.size() + announced->start;
        if (literal && isItemBefore(response, start, literal->item)) {
            streamLiteral(announced->size, *literal);
            response.truncate(start);
            response += "{0}\r\n";
            continue;
        }
        if (announced->size > MaxResponseBytes - response.size())
            failMalformed(QStringLiteral("a reply that is too long"));
        response += "\r\n";
        response += readBytes(announced->size);
    }
}

void ImapConnection::streamLiteral(qint64 size, StreamedLiteral& literal)
{
    if (literal.streamed)
        failMalformed(QStringLiteral("the part came twice"));
    if (literal.maxBytes >= 0 && size > literal.maxBytes)
        failMalformed(QStringLiteral("the part is larger than the message's structure said"));
    literal.streamed = true;
    qint64 remaining = size;
    while (remaining > 0) {
        if (m_socket->bytesAvailable() == 0)
            waitForData();
        const QByteArray chunk = m_socket->read(std::min(remaining, ReadChunkSize));
        remaining -= chunk.size();
        literal.bytes += chunk.size();
        literal.sink(chunk);
    }
}

QByteArray ImapConnection::readLine()
{
    for (;;) {
        if (m_socket->canReadLine()) {
            // The buffer holds at most the cap and one read more (see below), so the
            // line is read whole; a bound here would reserve the cap for every line.
            QByteArray line = m_socket->readLine();
            if (line.size() > MaxLineBytes + 2 || !line.endsWith('\n'))
                failMalformed(QStringLiteral("a line that is too long"));
            line.chop(1);
            if (line.endsWith('\r'))
                line.chop(1);
            return line;
        }
        if (m_socket->bytesAvailable() > MaxLineBytes)
            failMalformed(QStringLiteral("a line that is too long"));
        waitForData();
    }
}

QByteArray ImapConnection::readBytes(qint64 size)
{
    QByteArray bytes;
    while (bytes.size() < size) {
        if (m_socket->bytesAvailable() == 0)
            waitForData();
        bytes += m_socket->read(std::min(size - bytes.size(), ReadChunkSize));
    }
    return bytes;
}

void ImapConnection::waitForData()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        failSocket();
    if (m_socket->waitForReadyRead(replyTimeoutMs))
        return;
    if (m_socket->state() != QAbstractSocket::ConnectedState ||
        m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        failSocket();
    // A late answer would be taken as the reply to the next command.
    close();
    throw KestrelError(QStringLiteral("While %1: %2")
                           .arg(step, socketProblemText(QAbstractSocket::SocketTimeoutError, host,
                                                        port, replyTimeoutMs)));
}

void ImapConnection::write(const QByteArray& bytes)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        failSocket();
    if (m_socket->write(bytes) != bytes.size())
        failSocket();
    m_socket->flush();
}

void ImapConnection::failMalformed(const QString& detail)
{
    close();
    throw KestrelError(QStringLiteral("The IMAP server %1 sent a malformed reply while %2 (%3).")
                           .arg(serverName(), step, detail));
}

void ImapConnection::failSocket()
{
    // A time-out left by a zero wait that only looked at the socket is not the reason.
    const QAbstractSocket::SocketError error =
        m_socket->error() == QAbstractSocket::SocketTimeoutError
            ? QAbstractSocket::UnknownSocketError
            : m_socket->error();
    const QString reason = socketProblemText(error, host, port, replyTimeoutMs);
    close();
    throw KestrelError(QStringLiteral("While %1: %2").arg(step, reason));
}
