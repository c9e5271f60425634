#include "transport/IdSMTP.h"

#include "core/KestrelError.h"
#include "transport/IdMessage.h"
#include "transport/IdMessageWriter.h"
#include "transport/SaslBearer.h"
#include "transport/SecretMask.h"
#include "transport/SmtpProblemText.h"
#include "transport/UntrustedCertificateError.h"

#include <QDeadlineTimer>
#include <QHostInfo>
#include <QRegularExpression>
#include <QSslConfiguration>

#include <algorithm>

namespace {

const QString Protocol = QStringLiteral("SMTP");

// A reply line longer than this is not SMTP (RFC 5321 section 4.5.3.1.5 allows 512);
// the cap keeps a misbehaving server from filling memory.
constexpr qint64 MaxReplyLineLength = 64 * 1024;
constexpr int MaxReplyLines = 1000;
// Message text is handed to the socket in chunks of this size, and the session waits
// for the socket to drain above the mark, so memory stays flat for any message size.
constexpr int WriteChunkSize = 64 * 1024;
constexpr qint64 WriteHighWaterMark = 1024 * 1024;

int replyCodeOf(const QString& line)
{
    if (line.startsWith(QLatin1String("+OK")))
        return 1;
    if (line.startsWith(QLatin1String("-ERR")))
        return 0;
    bool ok = false;
    const int code = line.left(3).toInt(&ok);
    return ok ? code : 0;
}

} // namespace

TIdSMTP::TIdSMTP()
{
    m_certificateCheck.watch(m_socket);
}

TIdSMTP::~TIdSMTP() = default;

void TIdSMTP::addCaCertificates(const QList<QSslCertificate>& certificates)
{
    PeerCertificateCheck::addCaCertificates(m_socket, certificates);
}

QString TIdSMTP::serverName() const
{
    return smtpServerText(Host, Port);
}

QString TIdSMTP::localHostName() const
{
    QString name = QHostInfo::localHostName().left(250);
    name.removeIf([](QChar c) { return c.unicode() <= 32 || c.unicode() >= 127; });
    return name.isEmpty() ? QStringLiteral("localhost") : name;
}

void TIdSMTP::Connect()
{
    if (Connected())
        return;
    m_extensions.clear();
    m_sizeLimit = 0;
    m_authenticated = false;
    m_refusal = Refusal::None;
    m_certificateCheck.reset();
    if (Host.trimmed().isEmpty())
        throw KestrelError(QStringLiteral("No SMTP server is set."));
    try {
        m_socket.setPeerVerifyName(Host);
        const bool tlsFromStart = usesTlsFromStart(Encryption, Port, m_implicitTlsPort);
        if (tlsFromStart) {
            m_socket.connectToHostEncrypted(Host, static_cast<quint16>(Port));
            if (!m_socket.waitForEncrypted(m_connectTimeoutMs)) {
                try {
                    failSecuring();
                } catch (const UntrustedCertificateError&) {
                    throw;
                } catch (const KestrelError& error) {
                    // A plain server answers the TLS greeting with its own in text.
                    if (m_socket.error() == QAbstractSocket::SslHandshakeFailedError ||
                        m_socket.error() == QAbstractSocket::RemoteHostClosedError)
                        throw KestrelError(plainServerMetWithTls(error.message(), Protocol));
                    throw;
                }
            }
        } else {
            m_socket.connectToHost(Host, static_cast<quint16>(Port));
            if (!m_socket.waitForConnected(m_connectTimeoutMs)) {
                // A wait that runs out may leave the error unset.
                const QAbstractSocket::SocketError error =
                    m_socket.error() == QAbstractSocket::UnknownSocketError
                        ? QAbstractSocket::SocketTimeoutError
                        : m_socket.error();
                throw KestrelError(socketProblemText(error, Host, Port, m_connectTimeoutMs));
            }
            if (Encryption == MailEncryption::None && !m_socket.peerAddress().isLoopback())
                throw KestrelError(unencryptedRefused(serverName(), Protocol));
            awaitPlainGreeting();
        }
        ReadReply({220}, QStringLiteral("in its greeting"));
        greet();
        const bool startTlsOffered = m_extensions.contains(QLatin1String("STARTTLS"));
        if (!m_socket.isEncrypted() && Encryption == MailEncryption::StartTls && !startTlsOffered)
            throw KestrelError(startTlsNotOffered(serverName(), Protocol));
        if (!m_socket.isEncrypted() && startTlsOffered && Encryption != MailEncryption::None) {
            startTls();
            greet();
        }
        // Neither the password nor the message (its subject names the file) goes in the
        // clear to a server elsewhere.
        if (!m_socket.isEncrypted() && !m_socket.peerAddress().isLoopback())
            throw KestrelError(noEncryptionOffered(serverName(), Protocol, m_implicitTlsPort));
        authenticate();
    } catch (const KestrelError&) {
        Disconnect();
        throw;
    }
}

void TIdSMTP::awaitPlainGreeting()
{
    // A server that speaks TLS from the start waits for this computer's TLS greeting
    // and says nothing: its silence is bounded by the connect time-out, not by the
    // long wait for a reply.
    const int waitMs = qMin(m_connectTimeoutMs, m_replyTimeoutMs);
    const QDeadlineTimer deadline(waitMs);
    while (m_socket.bytesAvailable() == 0) {
        if (m_socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            continue;
        if (m_socket.state() != QAbstractSocket::ConnectedState ||
            m_socket.error() == QAbstractSocket::RemoteHostClosedError) {
            const QString fault = socketProblemText(QAbstractSocket::RemoteHostClosedError, Host,
                                                    Port, m_connectTimeoutMs);
            close();
            throw KestrelError(tlsServerMetWithoutTls(fault, Protocol));
        }
        if (deadline.hasExpired()) {
            close();
            throw KestrelError(tlsServerMetWithoutTls(
                socketProblemText(QAbstractSocket::SocketTimeoutError, Host, Port, waitMs),
                Protocol));
        }
    }
    if (looksLikeTls(m_socket.peek(2))) {
        close();
        throw KestrelError(tlsServerMetWithoutTls(
            QStringLiteral("The server %1 answered in TLS.").arg(serverName()), Protocol));
    }
}

void TIdSMTP::greet()
{
    m_extensions.clear();
    m_sizeLimit = 0;
    if (SendCommand(QStringLiteral("ehlo ") + localHostName(), {}) != 250) {
        SendCommand(QStringLiteral("Helo ") + localHostName(), {250},
                    QStringLiteral("to this computer's greeting"));
        return;
    }
    // The first line is the greeting; each further line names one extension
    // (RFC 5321 section 4.1.1.1).
    for (const QString& line : m_replyLines.mid(1)) {
        const QString keyword = line.section(QLatin1Char(' '), 0, 0).toUpper();
        m_extensions.append(keyword);
        if (keyword == QLatin1String("SIZE"))
            m_sizeLimit = line.section(QLatin1Char(' '), 1, 1).toLongLong();
        if (keyword == QLatin1String("AUTH") || keyword.startsWith(QLatin1String("AUTH="))) {
            const QString mechanisms =
                keyword.startsWith(QLatin1String("AUTH="))
                    ? keyword.mid(5) + QLatin1Char(' ') + line.section(QLatin1Char(' '), 1)
                    : line.section(QLatin1Char(' '), 1);
            for (const QString& mechanism :
                 mechanisms.toUpper().split(QLatin1Char(' '), Qt::SkipEmptyParts))
                m_extensions.append(QStringLiteral("AUTH ") + mechanism);
        }
    }
}

void TIdSMTP::startTls()
{
    SendCommand(QStringLiteral("STARTTLS"), {220},
                QStringLiteral("when asked to encrypt the connection"));
    // Whatever arrived before the handshake was not protected by TLS and must not be
    // taken as a reply afterwards (RFC 3207 section 4.2).
    m_socket.readAll();
    m_socket.startClientEncryption();
    if (!m_socket.waitForEncrypted(m_connectTimeoutMs))
        failSecuring();
}

void TIdSMTP::failSecuring()
{
    m_certificateCheck.failSecuring(m_socket, Host, Port, m_connectTimeoutMs,
                                    QStringLiteral("The connection"), serverName());
}

void TIdSMTP::authenticate()
{
    m_missingLogInField.clear();
    if (accessToken) {
        authenticateWithToken();
        return;
    }
    if (UserId.isEmpty() || Password.isEmpty()) {
        const bool offersLogIn =
            std::any_of(m_extensions.cbegin(), m_extensions.cend(), [](const QString& extension) {
                return extension.startsWith(QLatin1String("AUTH "));
            });
        if (offersLogIn)
            m_missingLogInField = UserId.isEmpty() ? QStringLiteral("SMTP Server User Name")
                                                   : QStringLiteral("SMTP Server User Password");
        return;
    }
    const bool plainAllowed = m_socket.isEncrypted() || m_socket.peerAddress().isLoopback();
    if (!plainAllowed)
        return;
    if (m_extensions.contains(QLatin1String("AUTH PLAIN"))) {
        const QByteArray credentials =
            QByteArray(1, '\0') + UserId.toUtf8() + '\0' + Password.toUtf8();
        sendLogInCommand(QStringLiteral("AUTH PLAIN ") +
                             QString::fromLatin1(credentials.toBase64()),
                         235, QStringLiteral("to the user name and password"));
        m_authenticated = true;
    } else if (m_extensions.contains(QLatin1String("AUTH LOGIN"))) {
        sendLogInCommand(QStringLiteral("AUTH LOGIN"), 334, QStringLiteral("when asked to log in"));
        sendLogInCommand(QString::fromLatin1(UserId.toUtf8().toBase64()), 334,
                         QStringLiteral("to the user name"));
        sendLogInCommand(QString::fromLatin1(Password.toUtf8().toBase64()), 235,
                         QStringLiteral("to the password"));
        m_authenticated = true;
    }
}

void TIdSMTP::authenticateWithToken()
{
    if (!m_socket.isEncrypted() && !m_socket.peerAddress().isLoopback())
        throw KestrelError(noEncryptionOffered(serverName(), Protocol, m_implicitTlsPort));
    if (UserId.isEmpty())
        throw KestrelError(QStringLiteral("No SMTP Server User Name is set: the access token is "
                                          "sent with the account's address."));
    QStringList offered;
    for (const QString& extension : std::as_const(m_extensions)) {
        if (extension.startsWith(QLatin1String("AUTH ")))
            offered << extension.mid(5);
    }
    const SaslBearer::Opening opening =
        SaslBearer::open(offered, Protocol, serverName(), accessToken, UserId, Host, Port);
    m_tokenForms = opening.secretForms;
    const QString step = QStringLiteral("to the access token");
    try {
        // A refused token comes back as a challenge with the error, which the client
        // must answer before the server says no (RFC 7628 section 3.2.2).
        const int code = SendCommand(QStringLiteral("AUTH ") +
                                         QString::fromLatin1(SaslBearer::name(opening.mechanism)) +
                                         QLatin1Char(' ') + QString::fromLatin1(opening.response),
                                     {235, 334}, step);
        if (code == 334)
            SendCommand(QString::fromLatin1(SaslBearer::refusalAcknowledgement(opening.mechanism)),
                        {235}, step);
    } catch (const KestrelError& error) {
        if (m_refusal != Refusal::Other)
            throw;
        m_refusal = Refusal::AccessToken;
        throw KestrelError(error.message() + QLatin1Char(' ') + accessTokenAdvice());
    }
    m_authenticated = true;
}

void TIdSMTP::sendLogInCommand(const QString& text, int expected, const QString& step)
{
    try {
        SendCommand(text, {expected}, step);
    } catch (const KestrelError& error) {
        if (m_refusal != Refusal::Other)
            throw;
        // 534 and 5.7.9 (RFC 4954 section 6): the mechanism is too weak for this
        // account, which is what providers answer when they want an app password.
        const bool appPassword =
            m_replyCode == 534 || m_replyText.startsWith(QLatin1String("5.7.9")) ||
            m_replyText.contains(QLatin1String("application-specific password"),
                                 Qt::CaseInsensitive) ||
            m_replyText.contains(QLatin1String("app password"), Qt::CaseInsensitive);
        if (appPassword) {
            m_refusal = Refusal::AppPassword;
            throw KestrelError(error.message() + QLatin1Char(' ') + appPasswordAdvice());
        }
        // 535: the credentials are wrong (RFC 4954 section 6).
        if (m_replyCode == 535) {
            m_refusal = Refusal::LogIn;
            throw KestrelError(error.message() + QLatin1Char(' ') + logInAdvice());
        }
        throw;
    }
}

bool TIdSMTP::Connected()
{
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return false;
    // Without an event loop the socket learns of a close by the server only when
    // it looks; a zero wait lets it look without blocking.
    if (m_socket.bytesAvailable() == 0)
        m_socket.waitForReadyRead(0);
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

void TIdSMTP::Disconnect()
{
    if (Connected()) {
        m_socket.write("Quit\r\n");
        m_socket.flush();
        m_socket.waitForBytesWritten(1000);
    }
    close();
}

void TIdSMTP::close()
{
    m_socket.abort();
    m_extensions.clear();
    m_authenticated = false;
}

void TIdSMTP::failConnectionLost()
{
    // A time-out left by a zero wait that only looked at the socket is not the reason.
    const QAbstractSocket::SocketError error =
        m_socket.error() == QAbstractSocket::SocketTimeoutError
            ? QAbstractSocket::UnknownSocketError
            : m_socket.error();
    const QString reason = socketProblemText(error, Host, Port, m_replyTimeoutMs);
    close();
    throw KestrelError(reason);
}

QByteArray TIdSMTP::readLine(const QDeadlineTimer& deadline)
{
    for (;;) {
        if (m_socket.canReadLine()) {
            QByteArray line = m_socket.readLine(MaxReplyLineLength + 2);
            if (line.endsWith('\n'))
                line.chop(1);
            if (line.endsWith('\r'))
                line.chop(1);
            return line;
        }
        if (m_socket.bytesAvailable() > MaxReplyLineLength) {
            close();
            throw KestrelError(QStringLiteral("The server sent a reply line that is too long (%1).")
                                   .arg(serverName()));
        }
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            failConnectionLost();
        if (!m_socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (m_socket.state() != QAbstractSocket::ConnectedState ||
                m_socket.error() == QAbstractSocket::RemoteHostClosedError)
                failConnectionLost();
            if (deadline.hasExpired()) {
                // A late answer would be taken as the reply to the next command.
                close();
                throw KestrelError(socketProblemText(QAbstractSocket::SocketTimeoutError, Host,
                                                     Port, m_replyTimeoutMs));
            }
        }
    }
}

int TIdSMTP::ReadReply(std::initializer_list<int> expected, const QString& step)
{
    const QDeadlineTimer deadline(m_replyTimeoutMs);
    m_refusal = Refusal::None;
    m_replyLines.clear();
    QString first;
    while (first.trimmed().isEmpty())
        first = QString::fromUtf8(readLine(deadline));
    QString last = first;
    m_replyLines.append(first.mid(4));
    if (first.size() >= 4 && first[3] == QLatin1Char('-')) {
        const QString terminator = first.left(3) + QLatin1Char(' ');
        do {
            if (m_replyLines.size() > MaxReplyLines) {
                close();
                throw KestrelError(QStringLiteral("The server sent a reply that does not end (%1).")
                                       .arg(serverName()));
            }
            last = QString::fromUtf8(readLine(deadline));
            if (!last.trimmed().isEmpty())
                m_replyLines.append(last.mid(4));
            // The last line is the code and a blank, or the bare code alone (RFC 5321
            // section 4.2: the text after the code is optional).
        } while (!last.startsWith(terminator, Qt::CaseInsensitive) &&
                 last.trimmed() != terminator.trimmed());
    }
    m_replyCode = replyCodeOf(last);
    m_replyText = m_replyLines.join(QLatin1Char('\n'));
    if (expected.size() > 0 &&
        std::find(expected.begin(), expected.end(), m_replyCode) == expected.end()) {
        m_refusal = Refusal::Other;
        const QString answer = QStringLiteral("The server answered %1: %2")
                                   .arg(m_replyCode)
                                   .arg(m_replyText.simplified());
        throw KestrelError(step.isEmpty() ? answer + QLatin1Char('.')
                                          : QStringLiteral("%1 (%2).").arg(answer, step));
    }
    return m_replyCode;
}

int TIdSMTP::SendCommand(const QString& text, std::initializer_list<int> expected,
                         const QString& step)
{
    writeBytes(text.toUtf8() + "\r\n");
    try {
        return ReadReply(expected, step);
    } catch (const KestrelError& error) {
        // The password is never repeated, should a server echo what it was sent.
        QString message = maskedSecret(error.message(), UserId, Password);
        for (const QString& form : std::as_const(m_tokenForms))
            message.replace(form, QStringLiteral("***"));
        throw KestrelError(message);
    }
}

bool TIdSMTP::refusedForSize() const
{
    static const QRegularExpression enhanced(
        QStringLiteral("^([245])\\.(\\d{1,3})\\.(\\d{1,3})\\b"));
    const QRegularExpressionMatch match = enhanced.match(m_replyText);
    if (!match.hasMatch())
        return m_replyCode == 552;
    const QString code = match.captured(0);
    // "552 5.2.2 mailbox full" is no matter of the message's size.
    return code == QLatin1String("5.3.4") || code == QLatin1String("5.2.3");
}

bool TIdSMTP::askedToSlowDown() const
{
    return m_replyCode == 421 || m_replyCode == 454 ||
           (m_replyCode / 100 == 4 && m_replyText.startsWith(QLatin1String("4.7.")));
}

QString TIdSMTP::withLogInHint(const QString& refusal) const
{
    // 530 and the enhanced codes 5.7.x mean the server wants to know who sends
    // (RFC 4954 section 6, RFC 3463 section 3.8).
    QString text = refusal;
    const bool wantsLogIn = m_replyCode == 530 || m_replyText.startsWith(QLatin1String("5.7."));
    if (wantsLogIn && !m_missingLogInField.isEmpty())
        text += QStringLiteral(" The server asks for a log-in, but the \"%1\" field is empty.")
                    .arg(m_missingLogInField);
    return text;
}

void TIdSMTP::writeBytes(const QByteArray& bytes)
{
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        failConnectionLost();
    if (m_socket.write(bytes) != bytes.size())
        failConnectionLost();
    const QDeadlineTimer deadline(m_replyTimeoutMs);
    while (m_socket.bytesToWrite() > WriteHighWaterMark ||
           m_socket.encryptedBytesToWrite() > WriteHighWaterMark) {
        if (m_socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            continue;
        if (m_socket.state() != QAbstractSocket::ConnectedState || !deadline.hasExpired())
            failConnectionLost();
        close();
        throw KestrelError(QStringLiteral("The server took no data for %1 (%2).")
                               .arg(secondsText(m_replyTimeoutMs), serverName()));
    }
}

void TIdSMTP::Send(TIdMessage& message)
{
    if (!Connected())
        throw KestrelError(
            QStringLiteral("Not connected to the SMTP server %1.").arg(serverName()));

    message.ExtraHeaders.setValue(QStringLiteral("X-Mailer"), MailAgent);
    QList<TIdEmailAddressItem> recipients;
    recipients << message.Recipients.items() << message.CCList.items() << message.BccList.items();
    message.From.checkAddress();
    for (const TIdEmailAddressItem& recipient : recipients)
        recipient.checkAddress();
    // Header values are checked and attachments opened before the server hears of the
    // message, so a bad value or an unreadable archive never leaves half a message.
    TIdMessageWriter writer(message);
    writer.prepare();
    const qint64 total = m_progressHandler ? writer.size() : 0;
    qint64 written = 0;
    if (m_sizeLimit > 0) {
        const qint64 size = writer.size();
        if (size > m_sizeLimit) {
            throw KestrelError(QStringLiteral("The message of %1 bytes is larger than the %2 bytes "
                                              "the SMTP server %3 accepts.")
                                   .arg(size)
                                   .arg(m_sizeLimit)
                                   .arg(serverName()));
        }
    }

    SendCommand(QStringLiteral("Rset"), {});
    try {
        SendCommand(QStringLiteral("Mail from:<") + message.From.Address + QLatin1Char('>'), {250});
    } catch (const KestrelError&) {
        // A lost connection says so itself; a refusal names the sender it was given.
        if (!Connected() || m_replyCode < 400)
            throw;
        throw KestrelError(withLogInHint(QStringLiteral("The server refused the sender address "
                                                        "%1 (it answered %2: %3).")
                                             .arg(message.From.Address)
                                             .arg(m_replyCode)
                                             .arg(m_replyText.simplified())));
    }
    // 251 "will forward" is a success as well (RFC 5321 section 4.2.2).
    for (const TIdEmailAddressItem& recipient : recipients) {
        try {
            SendCommand(QStringLiteral("RCPT to:<") + recipient.Address + QLatin1Char('>'),
                        {250, 251},
                        QStringLiteral("to the recipient address ") + recipient.Address);
        } catch (const KestrelError& error) {
            throw KestrelError(withLogInHint(error.message()));
        }
    }
    SendCommand(QStringLiteral("Data"), {354}, QStringLiteral("when asked to take the message"));
    try {
        QByteArray chunk;
        writer.write([&](const QByteArray& line) {
            // Transparency: a line that starts with "." gets a second one
            // (RFC 5321 section 4.5.2).
            if (line.startsWith('.'))
                chunk.append('.');
            chunk.append(line);
            chunk.append("\r\n");
            if (chunk.size() >= WriteChunkSize) {
                writeBytes(chunk);
                written += chunk.size();
                if (m_progressHandler)
                    m_progressHandler(written, total);
                chunk.clear();
            }
        });
        writeBytes(chunk);
        if (m_progressHandler)
            m_progressHandler(total, total);
        SendCommand(QStringLiteral("."), {250}, QStringLiteral("at the end of the message"));
        ++m_messagesAccepted;
    } catch (const KestrelError&) {
        // If the server still waits for the message's end, a later command would
        // become message text; closing makes the server drop the partial message.
        if (m_replyCode == 354)
            close();
        throw;
    }
}
