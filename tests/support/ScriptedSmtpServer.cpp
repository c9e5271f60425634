#include "support/ScriptedSmtpServer.h"

#include "support/SslSocketListener.h"

#include <QDeadlineTimer>
#include <QSslSocket>
#include <QTcpServer>

#include <utility>

// Lives on the server thread; reads commands and answers from the script.
class ScriptedSmtpWorker : public QObject
{
public:
    explicit ScriptedSmtpWorker(ScriptedSmtpServer& owner) : m_owner(owner) {}

    quint16 listen(const QHostAddress& address)
    {
        m_server = new SslSocketListener(this);
        m_server->listen(address, 0);
        connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        return m_server->serverPort();
    }

private:
    // Owned by its socket, so that a connection still open when the server stops goes
    // with the socket.
    struct Connection : QObject
    {
        using QObject::QObject;

        QByteArray buffer;
        bool inData = false;
        QByteArray message;
    };

    void accept()
    {
        while (auto* socket = static_cast<QSslSocket*>(m_server->nextPendingConnection())) {
            auto* connection = new Connection(socket);
            {
                QMutexLocker lock(&m_owner.m_mutex);
                ++m_owner.m_connections;
            }
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, connection] {
                connection->buffer += socket->readAll();
                process(socket, *connection);
            });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                socket->deleteLater();
                QMutexLocker lock(&m_owner.m_mutex);
                ++m_owner.m_closed;
                m_owner.m_changed.wakeAll();
            });
            ScriptedSmtpServer::Answer greeting;
            bool implicitTls = false;
            {
                QMutexLocker lock(&m_owner.m_mutex);
                greeting = m_owner.m_greeting;
                implicitTls = m_owner.m_implicitTls;
            }
            if (implicitTls) {
                connect(socket, &QSslSocket::encrypted, this,
                        [this, socket, greeting] { answer(socket, greeting); });
                startTls(socket);
            } else {
                answer(socket, greeting);
            }
        }
    }

    void startTls(QSslSocket* socket)
    {
        // The answer to STARTTLS (and anything scripted after it) goes out in plain
        // text before the handshake starts.
        socket->flush();
        QMutexLocker lock(&m_owner.m_mutex);
        socket->setLocalCertificate(m_owner.m_certificate);
        socket->setPrivateKey(m_owner.m_key);
        socket->startServerEncryption();
    }

    void answer(QSslSocket* socket, const ScriptedSmtpServer::Answer& answer)
    {
        if (answer.action == ScriptedSmtpServer::Action::Drop) {
            socket->write(answer.raw);
            socket->disconnectFromHost();
            return;
        }
        if (answer.action == ScriptedSmtpServer::Action::Reply)
            socket->write(answer.raw);
    }

    ScriptedSmtpServer::Answer answerFor(const QByteArray& word, bool encrypted)
    {
        QMutexLocker lock(&m_owner.m_mutex);
        for (qsizetype i = 0; i < m_owner.m_script.size(); ++i) {
            if (m_owner.m_script[i].word.compare(word, Qt::CaseInsensitive) == 0)
                return m_owner.m_script.takeAt(i);
        }
        const QByteArray lower = word.toLower();
        const bool offerTls = !m_owner.m_certificate.isNull() && !encrypted;
        const QByteArray size = m_owner.m_sizeLimit > 0
                                    ? "250-SIZE " + QByteArray::number(m_owner.m_sizeLimit) + "\r\n"
                                    : QByteArray();
        if (lower == "ehlo" && offerTls)
            return {word, "250-scripted.test greets you\r\n" + size + "250 STARTTLS\r\n",
                    ScriptedSmtpServer::Action::Reply};
        if (lower == "starttls")
            return {word, "220 go ahead\r\n", ScriptedSmtpServer::Action::Reply};
        if (lower == "ehlo")
            return {word, "250-scripted.test greets you\r\n" + size + "250 HELP\r\n",
                    ScriptedSmtpServer::Action::Reply};
        if (lower == "data")
            return {word, "354 end with .\r\n", ScriptedSmtpServer::Action::Reply};
        if (lower == "quit")
            return {word, "221 bye\r\n", ScriptedSmtpServer::Action::Drop};
        return {word, "250 OK\r\n", ScriptedSmtpServer::Action::Reply};
    }

    void process(QSslSocket* socket, Connection& connection)
    {
        for (;;) {
            if (connection.inData) {
                if (!takeData(socket, connection))
                    return;
                continue;
            }
            const qsizetype end = connection.buffer.indexOf("\r\n");
            if (end < 0)
                return;
            const QByteArray line = connection.buffer.left(end);
            connection.buffer.remove(0, end + 2);
            const QByteArray word = line.split(' ').first();
            {
                QMutexLocker lock(&m_owner.m_mutex);
                m_owner.m_commands.append(line);
                m_owner.m_changed.wakeAll();
            }
            const ScriptedSmtpServer::Answer reply = answerFor(word, socket->isEncrypted());
            if (word.compare("quit", Qt::CaseInsensitive) == 0) {
                socket->write(reply.raw);
                socket->disconnectFromHost();
                return;
            }
            answer(socket, reply);
            if (reply.action == ScriptedSmtpServer::Action::Drop)
                return;
            if (word.compare("STARTTLS", Qt::CaseInsensitive) == 0 && reply.raw.startsWith("220")) {
                connection.buffer.clear();
                startTls(socket);
                return;
            }
            if (word.compare("data", Qt::CaseInsensitive) == 0 && reply.raw.startsWith("354"))
                connection.inData = true;
        }
    }

    // Collects message text up to the line "."; false when more is needed.
    bool takeData(QSslSocket* socket, Connection& connection)
    {
        const qsizetype end = connection.buffer.indexOf("\r\n.\r\n");
        const bool startsWithEnd =
            connection.buffer.startsWith(".\r\n") && connection.message.isEmpty();
        const qsizetype taken = startsWithEnd ? 0 : (end < 0 ? connection.buffer.size() : end + 2);
        {
            QMutexLocker lock(&m_owner.m_mutex);
            m_owner.m_dataBytes += taken;
            if (m_owner.m_dropAfterDataBytes >= 0 &&
                m_owner.m_dataBytes >= m_owner.m_dropAfterDataBytes) {
                m_owner.m_dropAfterDataBytes = -1;
                lock.unlock();
                socket->abort();
                return false;
            }
        }
        if (end < 0 && !startsWithEnd) {
            // Keep a possible start of the end marker for the next read.
            const qsizetype keep = qMin<qsizetype>(4, connection.buffer.size());
            connection.message += connection.buffer.left(connection.buffer.size() - keep);
            connection.buffer = connection.buffer.right(keep);
            QMutexLocker lock(&m_owner.m_mutex);
            m_owner.m_dataBytes -= keep;
            return false;
        }
        connection.message += connection.buffer.left(taken);
        connection.buffer.remove(0, taken + 3);
        connection.inData = false;
        {
            QMutexLocker lock(&m_owner.m_mutex);
            m_owner.m_messages.append(connection.message);
            m_owner.m_commands.append(".");
            m_owner.m_changed.wakeAll();
        }
        const qint64 messageBytes = connection.message.size();
        connection.message.clear();
        std::function<void()> onMessage;
        {
            QMutexLocker lock(&m_owner.m_mutex);
            onMessage = std::exchange(m_owner.m_onMessage, {});
        }
        if (onMessage)
            onMessage();
        bool tooLarge = false;
        {
            QMutexLocker lock(&m_owner.m_mutex);
            tooLarge = m_owner.m_sizeLimit > 0 &&
                       messageBytes + m_owner.m_addedBytes > m_owner.m_sizeLimit;
        }
        if (tooLarge) {
            answer(socket, {".", "552 5.3.4 Message size exceeds fixed limit\r\n",
                            ScriptedSmtpServer::Action::Reply});
            return true;
        }
        answer(socket, answerFor(".", socket->isEncrypted()));
        return true;
    }

    ScriptedSmtpServer& m_owner;
    QTcpServer* m_server = nullptr;
};

ScriptedSmtpServer::ScriptedSmtpServer(const QHostAddress& address)
    : m_worker(std::make_unique<ScriptedSmtpWorker>(*this))
{
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_worker.get(), [this, address] { return m_worker->listen(address); },
        Qt::BlockingQueuedConnection, &m_port);
}

ScriptedSmtpServer::~ScriptedSmtpServer()
{
    QMetaObject::invokeMethod(
        m_worker.get(), [this] { m_worker.reset(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void ScriptedSmtpServer::setGreeting(const QByteArray& raw, Action action)
{
    QMutexLocker lock(&m_mutex);
    m_greeting = {{}, raw, action};
}

void ScriptedSmtpServer::script(const QByteArray& word, const QByteArray& raw, Action action)
{
    QMutexLocker lock(&m_mutex);
    m_script.append({word, raw, action});
}

void ScriptedSmtpServer::enableTls(const QSslCertificate& certificate, const QSslKey& key,
                                   bool implicit)
{
    QMutexLocker lock(&m_mutex);
    m_certificate = certificate;
    m_key = key;
    m_implicitTls = implicit;
}

void ScriptedSmtpServer::setSizeLimit(qint64 limit, qint64 addedBytes)
{
    QMutexLocker lock(&m_mutex);
    m_sizeLimit = limit;
    m_addedBytes = addedBytes;
}

void ScriptedSmtpServer::dropAfterDataBytes(qint64 bytes)
{
    QMutexLocker lock(&m_mutex);
    m_dropAfterDataBytes = bytes;
}

QList<QByteArray> ScriptedSmtpServer::commands() const
{
    QMutexLocker lock(&m_mutex);
    return m_commands;
}

void ScriptedSmtpServer::onNextMessage(std::function<void()> hook)
{
    QMutexLocker lock(&m_mutex);
    m_onMessage = std::move(hook);
}

QList<QByteArray> ScriptedSmtpServer::messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

bool ScriptedSmtpServer::waitFor(const QByteArray& word, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_mutex);
    for (;;) {
        if (word.isEmpty() && m_closed > 0 && m_closed >= m_connections)
            return true;
        for (const QByteArray& command : m_commands) {
            if (!word.isEmpty() &&
                command.split(' ').first().compare(word, Qt::CaseInsensitive) == 0)
                return true;
        }
        if (!m_changed.wait(&m_mutex, deadline))
            return false;
    }
}
