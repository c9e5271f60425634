#include "support/ScriptedImapServer.h"

#include "support/SslSocketListener.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QSslSocket>
#include <QTcpServer>

// Lives on the server thread; reads commands and answers from the script.
class ScriptedImapWorker : public QObject
{
public:
    explicit ScriptedImapWorker(ScriptedImapServer& owner) : m_owner(owner) {}

    quint16 listen()
    {
        m_server = new SslSocketListener(this);
        m_server->listen(QHostAddress::LocalHost, 0);
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
        QByteArray command;
        qint64 literalRemaining = 0;
        // The tag of an AUTHENTICATE that waits for its credentials.
        QByteArray authenticateTag;
        bool stalled = false;
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
            ScriptedImapServer::Answer greeting;
            bool implicitTls = false;
            {
                QMutexLocker lock(&m_owner.m_mutex);
                greeting = m_owner.m_greeting;
                implicitTls = m_owner.m_implicitTls;
            }
            if (implicitTls) {
                connect(socket, &QSslSocket::encrypted, this, [this, socket, connection, greeting] {
                    send(socket, *connection, greeting, {});
                });
                startTls(socket);
            } else {
                send(socket, *connection, greeting, {});
            }
        }
    }

    void startTls(QSslSocket* socket)
    {
        socket->flush();
        QMutexLocker lock(&m_owner.m_mutex);
        socket->setLocalCertificate(m_owner.m_certificate);
        socket->setPrivateKey(m_owner.m_key);
        socket->startServerEncryption();
    }

    void send(QSslSocket* socket, Connection& connection, const ScriptedImapServer::Answer& answer,
              const QByteArray& tag)
    {
        QByteArray raw = answer.raw;
        raw.replace("TAG ", tag + ' ');
        socket->write(raw);
        if (answer.action == ScriptedImapServer::Action::Drop) {
            socket->flush();
            socket->disconnectFromHost();
        }
        if (answer.action == ScriptedImapServer::Action::Stall)
            connection.stalled = true;
    }

    ScriptedImapServer::Answer answerFor(const QByteArray& command, bool encrypted)
    {
        QMutexLocker lock(&m_owner.m_mutex);
        for (qsizetype i = 0; i < m_owner.m_script.size(); ++i) {
            if (command.startsWith(m_owner.m_script[i].command.toUpper()))
                return m_owner.m_script.takeAt(i);
        }
        const auto reply = [&](const QByteArray& raw) {
            return ScriptedImapServer::Answer{command, raw, ScriptedImapServer::Action::Reply};
        };
        if (command.startsWith("CAPABILITY")) {
            QByteArray capabilities = m_owner.m_capabilities;
            if (!m_owner.m_certificate.isNull() && !encrypted && !m_owner.m_implicitTls)
                capabilities += " STARTTLS";
            return reply("* CAPABILITY " + capabilities + "\r\nTAG OK done\r\n");
        }
        if (command.startsWith("STARTTLS"))
            return reply("TAG OK begin TLS\r\n");
        if (command.startsWith("LOGIN") || command.startsWith("AUTHENTICATE"))
            return reply("TAG OK logged in\r\n");
        if (command.startsWith("EXAMINE"))
            return reply("* FLAGS (\\Seen \\Deleted)\r\n* 3 EXISTS\r\n* 0 RECENT\r\n"
                         "* OK [UIDVALIDITY 42] valid\r\n* OK [UIDNEXT 9] next\r\n"
                         "TAG OK [READ-ONLY] examined\r\n");
        if (command.startsWith("UID SEARCH"))
            return reply("* SEARCH\r\nTAG OK searched\r\n");
        if (command.startsWith("UID FETCH"))
            return reply(bodyFetch(command) + "TAG OK fetched\r\n");
        if (command.startsWith("LOGOUT"))
            return {command, "* BYE logging out\r\nTAG OK bye\r\n",
                    ScriptedImapServer::Action::Drop};
        return reply("TAG BAD unknown command\r\n");
    }

    // The reply to "UID FETCH n (UID BODY.PEEK[s])", with "<offset.length>", or for a
    // set of UIDs ("1:3,7"): those answered last first, as a server may.
    QByteArray bodyFetch(const QByteArray& command)
    {
        static const QRegularExpression pattern(QStringLiteral(
            R"(^UID FETCH ([\d:,]+) \(UID BODY\.PEEK\[([\d.]+)\](?:<(\d+)\.(\d+)>)?\)$)"));
        const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(command));
        if (!match.hasMatch())
            return {};
        QList<quint32> uids;
        for (const QString& range : match.captured(1).split(u',')) {
            const QStringList ends = range.split(u':');
            for (quint32 uid = ends.first().toUInt(); uid <= ends.last().toUInt(); ++uid)
                uids.prepend(uid);
        }
        const QByteArray section = match.captured(2).toLatin1();
        QByteArray replies;
        for (const quint32 uid : std::as_const(uids)) {
            const auto found = m_owner.m_bodies.constFind({uid, section});
            if (found == m_owner.m_bodies.cend())
                continue;
            QByteArray bytes = *found;
            QByteArray item = "BODY[" + section + ']';
            if (match.hasCaptured(3)) {
                const qint64 offset = match.captured(3).toLongLong();
                bytes = bytes.mid(offset, match.captured(4).toLongLong());
                item += '<' + QByteArray::number(offset) + '>';
            }
            replies += "* 1 FETCH (UID " + QByteArray::number(uid) + ' ' + item + " {" +
                       QByteArray::number(bytes.size()) + "}\r\n" + bytes + ")\r\n";
        }
        return replies;
    }

    void record(const QByteArray& command)
    {
        QMutexLocker lock(&m_owner.m_mutex);
        m_owner.m_commands.append(command);
        m_owner.m_changed.wakeAll();
    }

    void process(QSslSocket* socket, Connection& connection)
    {
        static const QRegularExpression literal(QStringLiteral(R"(\{(\d+)(\+?)\}$)"));
        for (;;) {
            if (connection.stalled)
                return;
            if (connection.literalRemaining > 0) {
                const QByteArray part = connection.buffer.left(connection.literalRemaining);
                connection.buffer.remove(0, part.size());
                connection.command += part;
                connection.literalRemaining -= part.size();
                if (connection.literalRemaining > 0)
                    return;
            }
            const qsizetype end = connection.buffer.indexOf("\r\n");
            if (end < 0)
                return;
            const QByteArray line = connection.buffer.left(end);
            connection.buffer.remove(0, end + 2);
            if (!connection.authenticateTag.isEmpty()) {
                record(line);
                const QByteArray tag = std::exchange(connection.authenticateTag, {});
                send(socket, connection, answerFor("AUTHENTICATE", socket->isEncrypted()), tag);
                continue;
            }
            connection.command += line;
            const QRegularExpressionMatch match = literal.match(QString::fromLatin1(line));
            if (match.hasMatch()) {
                connection.command += "\r\n";
                connection.literalRemaining = match.captured(1).toLongLong();
                if (match.captured(2).isEmpty())
                    socket->write("+ go on\r\n");
                continue;
            }
            const QByteArray full = std::exchange(connection.command, {});
            const qsizetype blank = full.indexOf(' ');
            const QByteArray tag = full.left(blank);
            const QByteArray command = blank < 0 ? QByteArray() : full.mid(blank + 1);
            record(command);
            const QByteArray upper = command.toUpper();
            if (upper == "AUTHENTICATE PLAIN") {
                connection.authenticateTag = tag;
                socket->write("+ \r\n");
                continue;
            }
            const ScriptedImapServer::Answer answer = answerFor(upper, socket->isEncrypted());
            send(socket, connection, answer, tag);
            if (answer.action == ScriptedImapServer::Action::Drop)
                return;
            if (upper == "STARTTLS" && answer.raw.contains("OK")) {
                connection.buffer.clear();
                startTls(socket);
                return;
            }
        }
    }

    ScriptedImapServer& m_owner;
    QTcpServer* m_server = nullptr;
};

ScriptedImapServer::ScriptedImapServer() : m_worker(std::make_unique<ScriptedImapWorker>(*this))
{
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_worker.get(), [this] { return m_worker->listen(); }, Qt::BlockingQueuedConnection,
        &m_port);
}

ScriptedImapServer::~ScriptedImapServer()
{
    QMetaObject::invokeMethod(
        m_worker.get(), [this] { m_worker.reset(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void ScriptedImapServer::setGreeting(const QByteArray& raw, Action action)
{
    QMutexLocker lock(&m_mutex);
    m_greeting = {{}, raw, action};
}

void ScriptedImapServer::setCapabilities(const QByteArray& capabilities)
{
    QMutexLocker lock(&m_mutex);
    m_capabilities = capabilities;
}

void ScriptedImapServer::script(const QByteArray& command, const QByteArray& raw, Action action)
{
    QMutexLocker lock(&m_mutex);
    m_script.append({command, raw, action});
}

void ScriptedImapServer::setBody(quint32 uid, const QByteArray& section, const QByteArray& bytes)
{
    QMutexLocker lock(&m_mutex);
    m_bodies.insert({uid, section}, bytes);
}

void ScriptedImapServer::enableTls(const QSslCertificate& certificate, const QSslKey& key,
                                   bool implicit)
{
    QMutexLocker lock(&m_mutex);
    m_certificate = certificate;
    m_key = key;
    m_implicitTls = implicit;
}

QList<QByteArray> ScriptedImapServer::commands() const
{
    QMutexLocker lock(&m_mutex);
    return m_commands;
}

bool ScriptedImapServer::waitForClose(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_mutex);
    while (m_closed == 0 || m_closed < m_connections) {
        if (!m_changed.wait(&m_mutex, deadline))
            return false;
    }
    return true;
}
