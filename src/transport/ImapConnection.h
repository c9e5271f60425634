#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class QSslSocket;

// The byte level of an IMAP connection: whole responses read with their literals
// (RFC 3501 section 4.3), or with one literal handed to a sink as it arrives instead
// of kept, and commands written; every wait ends after the reply time-out without a
// byte. Lines and responses are capped, so a server cannot fill memory. Faults throw
// KestrelError naming the server and what the session was doing (`step`), and close
// the connection, since what follows would be out of step.
class ImapConnection
{
public:
    ImapConnection();
    ~ImapConnection();
    ImapConnection(const ImapConnection&) = delete;
    ImapConnection& operator=(const ImapConnection&) = delete;

    QSslSocket& socket() { return *m_socket; }
    const QSslSocket& socket() const { return *m_socket; }

    QString host;
    int port = 0;
    int replyTimeoutMs = 0;
    // What the session is doing, for error texts: "logging in".
    QString step;

    // "host port n".
    QString serverName() const;

    // A literal to hand to a sink instead of keeping: the one that follows the fetch
    // item `item` ("BODY[2]", also with an "<origin>"). A literal larger than
    // maxBytes (when not negative) is refused before the sink sees any of it.
    struct StreamedLiteral
    {
        QByteArray item;
        std::function<void(QByteArrayView bytes)> sink;
        qint64 maxBytes = -1;
        qint64 bytes = 0;
        bool streamed = false;
    };

    // One response without its final line break, literals in place as "{n}\r\n" and
    // their bytes; a streamed literal stands there as an empty one.
    QByteArray readResponse(StreamedLiteral* literal = nullptr);
    void write(const QByteArray& bytes);
    // Whether the connection is open; one the server has closed counts as closed.
    bool isConnected();
    void close();

    [[noreturn]] void failMalformed(const QString& detail);
    [[noreturn]] void failSocket();

private:
    QByteArray readLine();
    QByteArray readBytes(qint64 size);
    void streamLiteral(qint64 size, StreamedLiteral& literal);
    void waitForData();

    QSslSocket* m_socket;
};
