#include "transport/ImapSession.h"

#include "core/KestrelError.h"
#include "transport/ImapCommandText.h"
#include "transport/ImapFetchItems.h"
#include "transport/ImapValue.h"
#include "transport/SmtpProblemText.h"
#include "transport/UntrustedCertificateError.h"

#include <QMap>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThread>

#include <algorithm>
#include <optional>

namespace {

// A search reply for a mailbox of a million messages fits in a line of this size;
// longer lines, and longer replies with their literals, are refused so that a server
// cannot fill memory. Attachments are streamed and do not count.
constexpr qint64 MaxLineBytes = 8 * 1024 * 1024;
constexpr qint64 MaxResponseBytes = 16 * 1024 * 1024;
constexpr qint64 MaxSearchResults = 5 * 1000 * 1000;
constexpr qint64 ReadChunkSize = 64 * 1024;
// A server's words quoted in an error are cut to this length.
constexpr qsizetype MaxQuotedText = 300;

bool userMayTrust(const QList<QSslError>& errors)
{
    return std::none_of(errors.cbegin(), errors.cend(), [](const QSslError& error) {
        return error.error() == QSslError::NoPeerCertificate ||
               error.error() == QSslError::CertificateRevoked ||
               error.error() == QSslError::CertificateBlacklisted;
    });
}

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

QList<quint32> expandSet(const QByteArray& set)
{
    QList<quint32> uids;
    for (const QByteArray& range : set.split(',')) {
        const QList<QByteArray> ends = range.split(':');
        bool firstOk = false;
        bool lastOk = false;
        const quint32 first = ends.value(0).toUInt(&firstOk);
        const quint32 last = ends.size() == 2 ? ends[1].toUInt(&lastOk) : first;
        if (!firstOk || (ends.size() == 2 && !lastOk) || ends.size() > 2)
            throw ImapSyntaxError(QStringLiteral("a UID set is malformed"));
        const quint32 low = std::min(first, last);
        const quint32 high = std::max(first, last);
        if (uids.size() + qint64(high - low) >= MaxSearchResults)
            throw ImapSyntaxError(QStringLiteral("too many search results"));
        for (quint64 uid = low; uid <= high; ++uid)
            uids.append(static_cast<quint32>(uid));
    }
    return uids;
}

} // namespace

ImapSession::ImapSession() : m_socket(new QSslSocket)
{
    m_socket->setProtocol(QSsl::SecureProtocols);
    m_socket->setPeerVerifyMode(QSslSocket::VerifyPeer);
    QObject::connect(
        m_socket, &QSslSocket::sslErrors, m_socket,
        [this](const QList<QSslError>& errors) { checkCertificate(errors); }, Qt::DirectConnection);
}

ImapSession::~ImapSession()
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

void ImapSession::addCaCertificates(const QList<QSslCertificate>& certificates)
{
    QSslConfiguration configuration = m_socket->sslConfiguration();
    configuration.addCaCertificates(certificates);
    m_socket->setSslConfiguration(configuration);
}

bool ImapSession::isEncrypted() const
{
    return m_socket->isEncrypted();
}

QString ImapSession::serverName() const
{
    return smtpServerText(Host, Port);
}

bool ImapSession::has(const char* capability) const
{
    return m_capabilities.contains(QLatin1String(capability), Qt::CaseInsensitive);
}

QString ImapSession::hidden(QString text) const
{
    if (!Password.isEmpty()) {
        text.replace(Password, QStringLiteral("***"));
        const QByteArray plain = QByteArray(1, '\0') + UserName.toUtf8() + '\0' + Password.toUtf8();
        text.replace(QString::fromLatin1(plain.toBase64()), QStringLiteral("***"));
    }
    return text;
}

void ImapSession::connectToServer()
{
    if (isConnected())
        return;
    m_capabilities.clear();
    m_authenticated = false;
    m_loggingOut = false;
    m_refusedChain.clear();
    if (Host.trimmed().isEmpty())
        throw KestrelError(QStringLiteral("No IMAP server is set."));
    try {
        m_step = QStringLiteral("connecting");
        m_socket->setPeerVerifyName(Host);
        if (Port == m_implicitTlsPort) {
            m_socket->connectToHostEncrypted(Host, static_cast<quint16>(Port));
            if (!m_socket->waitForEncrypted(m_connectTimeoutMs))
                failSecuring();
        } else {
            m_socket->connectToHost(Host, static_cast<quint16>(Port));
            if (!m_socket->waitForConnected(m_connectTimeoutMs)) {
                const QAbstractSocket::SocketError error =
                    m_socket->error() == QAbstractSocket::UnknownSocketError
                        ? QAbstractSocket::SocketTimeoutError
                        : m_socket->error();
                throw KestrelError(socketProblemText(error, Host, Port, m_connectTimeoutMs));
            }
        }
        m_step = QStringLiteral("reading the greeting");
        const QByteArray greeting = readResponse(nullptr);
        ImapParser parser(greeting);
        const QByteArray star = parser.word();
        const QByteArray status = parser.word().toUpper();
        if (star != "*" || (status != "OK" && status != "PREAUTH" && status != "BYE"))
            failMalformed(QStringLiteral("not a greeting"));
        parser.skipBlanks();
        if (status == "BYE")
            failStatus(status, parser.rest());
        readResponseCode(parser.rest());
        m_authenticated = status == "PREAUTH";
        if (m_capabilities.isEmpty())
            askCapabilities();
        if (!m_socket->isEncrypted() && has("STARTTLS")) {
            startTls();
            askCapabilities();
        }
        if (!m_authenticated)
            logIn();
    } catch (const KestrelError&) {
        close();
        throw;
    }
}

void ImapSession::askCapabilities()
{
    m_step = QStringLiteral("asking for the server's capabilities");
    m_capabilities.clear();
    runCommand({"CAPABILITY"});
    if (!has("IMAP4rev1") && !has("IMAP4rev2"))
        failMalformed(QStringLiteral("the server does not speak IMAP4rev1 or IMAP4rev2"));
}

void ImapSession::startTls()
{
    m_step = QStringLiteral("encrypting the connection");
    runCommand({"STARTTLS"});
    // Whatever followed the answer came before the handshake, unprotected, and must
    // not be taken as a reply (RFC 3501 section 6.2.1).
    m_socket->readAll();
    m_capabilities.clear();
    m_socket->startClientEncryption();
    if (!m_socket->waitForEncrypted(m_connectTimeoutMs))
        failSecuring();
}

void ImapSession::logIn()
{
    m_step = QStringLiteral("logging in");
    if (!m_socket->isEncrypted() && !m_socket->peerAddress().isLoopback())
        throw KestrelError(
            QStringLiteral("The IMAP server %1 offers no encrypted connection (neither TLS on "
                           "port %2 nor STARTTLS), and a password is never sent unencrypted.")
                .arg(serverName())
                .arg(m_implicitTlsPort));
    if (UserName.isEmpty() || Password.isEmpty())
        throw KestrelError(
            QStringLiteral("No %1 is set for the IMAP server %2.")
                .arg(UserName.isEmpty() ? QStringLiteral("user name") : QStringLiteral("password"),
                     serverName()));
    if (has("AUTH=PLAIN")) {
        const QByteArray credentials =
            (QByteArray(1, '\0') + UserName.toUtf8() + '\0' + Password.toUtf8()).toBase64();
        // With SASL-IR the credentials go with the command, else after the server's "+".
        if (has("SASL-IR"))
            runCommand({"AUTHENTICATE PLAIN " + credentials});
        else
            runCommand({"AUTHENTICATE PLAIN", credentials});
    } else if (has("LOGINDISABLED")) {
        throw KestrelError(QStringLiteral("The IMAP server %1 offers no way to log in that this "
                                          "program knows (LOGIN is disabled and AUTHENTICATE "
                                          "PLAIN is not offered).")
                               .arg(serverName()));
    } else {
        QList<QByteArray> pieces{"LOGIN "};
        appendString(pieces, UserName.toUtf8());
        pieces.last().append(' ');
        appendString(pieces, Password.toUtf8());
        runCommand(pieces);
    }
    m_authenticated = true;
}

void ImapSession::appendString(QList<QByteArray>& pieces, const QByteArray& bytes) const
{
    if (ImapCommandText::fitsQuoted(bytes)) {
        pieces.last().append(ImapCommandText::quoted(bytes));
        return;
    }
    // A literal the server takes without a "+" first (RFC 7888), else one it has to
    // invite.
    const bool nonSynchronizing =
        has("LITERAL+") || ((has("LITERAL-") || has("IMAP4rev2")) && bytes.size() <= 4096);
    if (nonSynchronizing) {
        pieces.last().append('{' + QByteArray::number(bytes.size()) + "+}\r\n" + bytes);
    } else {
        pieces.last().append('{' + QByteArray::number(bytes.size()) + '}');
        pieces.append(bytes);
    }
}

MailboxReader::MailboxState ImapSession::examine(const QString& mailbox)
{
    m_step = QStringLiteral("opening the mailbox \"%1\"").arg(mailbox);
    m_mailbox = {};
    bool uidValidityTold = false;
    runCommand({"EXAMINE " + ImapCommandText::quoted(ImapCommandText::mailboxName(mailbox))},
               [&](qint64, const QByteArray& keyword, ImapParser& parser) {
                   if (keyword == "OK" && parser.rest().toUpper().contains("[UIDVALIDITY "))
                       uidValidityTold = true;
               });
    if (!uidValidityTold)
        failMalformed(QStringLiteral("the mailbox's UIDVALIDITY is missing"));
    return m_mailbox;
}

QList<quint32> ImapSession::searchSubject(const QString& text)
{
    m_step = QStringLiteral("searching for save notes");
    const QByteArray bytes = text.toUtf8();
    QList<QByteArray> pieces{ImapCommandText::fitsQuoted(bytes)
                                 ? QByteArray("UID SEARCH SUBJECT ")
                                 : QByteArray("UID SEARCH CHARSET UTF-8 SUBJECT ")};
    appendString(pieces, bytes);
    QList<quint32> uids;
    runCommand(pieces, [&](qint64, const QByteArray& keyword, ImapParser& parser) {
        if (keyword == "SEARCH") {
            for (const ImapValue& value : parser.values()) {
                const std::optional<qint64> uid = value.number();
                if (!uid || *uid == 0 || *uid > 0xffffffffLL)
                    throw ImapSyntaxError(QStringLiteral("a search result is not a UID"));
                if (uids.size() >= MaxSearchResults)
                    throw ImapSyntaxError(QStringLiteral("too many search results"));
                uids.append(static_cast<quint32>(*uid));
            }
        } else if (keyword == "ESEARCH") {
            // IMAP4rev2 (RFC 9051 section 7.3.4): (TAG "t") UID ALL 1:3,5
            const QList<ImapValue> values = parser.values();
            for (qsizetype i = 0; i + 1 < values.size(); ++i) {
                if (values[i].isAtom("ALL") && values[i + 1].hasText())
                    uids += expandSet(values[i + 1].text);
            }
        }
    });
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    return uids;
}

QList<MailboxNote> ImapSession::fetchNotes(const QList<quint32>& uids)
{
    m_step = QStringLiteral("reading the save notes");
    QMap<quint32, MailboxNote> notes;
    QList<quint32> sorted = uids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (qsizetype start = 0; start < sorted.size(); start += FetchBatchSize) {
        const QList<quint32> batch = sorted.mid(start, FetchBatchSize);
        QString fault;
        runCommand({"UID FETCH " + ImapCommandText::uidSet(batch) +
                    " (UID RFC822.SIZE INTERNALDATE BODY.PEEK[HEADER.FIELDS (SUBJECT DATE)] "
                    "BODYSTRUCTURE)"},
                   [&](qint64, const QByteArray& keyword, ImapParser& parser) {
                       if (keyword != "FETCH")
                           return;
                       const ImapValue items = parser.value();
                       bool hasStructure = false;
                       try {
                           const MailboxNote note = ImapFetchItems::note(items, &hasStructure);
                           // Flag changes of other messages may come unasked.
                           if (hasStructure &&
                               std::binary_search(batch.begin(), batch.end(), note.uid))
                               notes.insert(note.uid, note);
                       } catch (const ImapSyntaxError& error) {
                           // The rest of the reply is read first, so that the session
                           // stays in step.
                           if (fault.isEmpty())
                               fault = error.message();
                       }
                   });
        if (!fault.isEmpty())
            failMalformed(fault);
    }
    return notes.values();
}

qint64 ImapSession::fetchSection(quint32 uid, const QByteArray& section, const Sink& sink,
                                 qint64 offset, qint64 length)
{
    m_step = QStringLiteral("downloading an attachment");
    if (section.isEmpty() || !std::all_of(section.begin(), section.end(), [](char c) {
            return (c >= '0' && c <= '9') || c == '.';
        }))
        throw KestrelError(QStringLiteral("The attachment's part \"%1\" is not a part number.")
                               .arg(QString::fromLatin1(section)));
    const bool partial = offset >= 0;
    StreamedLiteral literal;
    literal.item = "BODY[" + section + ']';
    literal.sink = sink;
    literal.maxBytes = partial ? length : -1;
    QByteArray command =
        "UID FETCH " + QByteArray::number(uid) + " (UID BODY.PEEK[" + section + ']';
    if (partial)
        command += '<' + QByteArray::number(offset) + '.' + QByteArray::number(length) + '>';
    command += ')';
    bool found = false;
    runCommand(
        {command},
        [&](qint64, const QByteArray& keyword, ImapParser& parser) {
            if (keyword != "FETCH")
                return;
            const ImapValue items = parser.value();
            if (!items.isList() || items.items.size() % 2 != 0)
                throw ImapSyntaxError(QStringLiteral("a FETCH reply is not a list of items"));
            bool hasBody = false;
            quint32 replyUid = 0;
            for (qsizetype i = 0; i < items.items.size(); i += 2) {
                const ImapValue& name = items.items[i];
                const ImapValue& value = items.items[i + 1];
                if (name.isAtom("UID"))
                    replyUid = static_cast<quint32>(value.number().value_or(0));
                if (name.kind != ImapValue::Kind::Atom ||
                    !name.text.toUpper().startsWith(literal.item))
                    continue;
                hasBody = true;
                // A short part may come as a quoted string rather than a literal.
                if (!literal.streamed && value.kind == ImapValue::Kind::String) {
                    if (literal.maxBytes >= 0 && value.text.size() > literal.maxBytes)
                        throw ImapSyntaxError(
                            QStringLiteral("the server sent more than was asked"));
                    literal.bytes += value.text.size();
                    sink(value.text);
                }
            }
            if (!hasBody)
                return;
            if (replyUid != uid)
                throw ImapSyntaxError(QStringLiteral("the server sent another message's part"));
            found = true;
        },
        &literal);
    if (!found)
        throw KestrelError(QStringLiteral("The mailbox no longer holds the message (UID %1) on "
                                          "the IMAP server %2.")
                               .arg(uid)
                               .arg(serverName()));
    return literal.bytes;
}

void ImapSession::logout()
{
    // Only the socket's own thread may use it.
    if (m_socket->thread() != QThread::currentThread())
        return;
    if (isConnected()) {
        m_loggingOut = true;
        const int replyTimeout = m_replyTimeoutMs;
        // The answer matters little; the connection closes either way.
        m_replyTimeoutMs = std::min(m_replyTimeoutMs, 5000);
        try {
            m_step = QStringLiteral("logging out");
            runCommand({"LOGOUT"});
        } catch (const KestrelError&) {
        }
        m_replyTimeoutMs = replyTimeout;
    }
    close();
}

bool ImapSession::isConnected()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    if (m_socket->bytesAvailable() == 0)
        m_socket->waitForReadyRead(0);
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void ImapSession::close()
{
    m_socket->abort();
    m_authenticated = false;
    m_capabilities.clear();
}

QByteArray ImapSession::runCommand(const QList<QByteArray>& pieces, const Untagged& untagged,
                                   StreamedLiteral* literal)
{
    const QByteArray tag = 'K' + QByteArray::number(++m_tagNumber);
    qsizetype next = 0;
    bool answered = false;
    try {
        writeBytes(tag + ' ' + pieces[next++] + "\r\n");
        for (;;) {
            const QByteArray response = readResponse(literal);
            if (response.startsWith('+')) {
                // The server invites the next piece: a literal or the credentials.
                if (next >= pieces.size())
                    failMalformed(QStringLiteral("an invitation to go on that nothing asked "
                                                 "for"));
                writeBytes(pieces[next++] + "\r\n");
                continue;
            }
            ImapParser parser(response);
            const QByteArray first = parser.word();
            if (first == "*") {
                handleUntagged(response, untagged);
                continue;
            }
            if (first != tag)
                failMalformed(QStringLiteral("an answer to a command it was not sent"));
            answered = true;
            const QByteArray status = parser.word().toUpper();
            parser.skipBlanks();
            const QByteArray text = parser.rest();
            if (status == "OK") {
                readResponseCode(text);
                return text;
            }
            if (status == "NO" || status == "BAD") {
                // An answer before every piece was sent ends the command too.
                failStatus(status, text);
            }
            failMalformed(QStringLiteral("an answer that is neither OK, NO nor BAD"));
        }
    } catch (const KestrelError&) {
        // Without the tagged answer the next reply read would belong to this command.
        if (!answered)
            close();
        throw;
    }
}

void ImapSession::handleUntagged(const QByteArray& response, const Untagged& untagged)
{
    ImapParser parser(response, 1);
    QByteArray keyword = parser.word().toUpper();
    qint64 number = -1;
    if (!keyword.isEmpty() &&
        std::all_of(keyword.begin(), keyword.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (keyword.size() > 10)
            failMalformed(QStringLiteral("a message number is too large"));
        number = keyword.toLongLong();
        keyword = parser.word().toUpper();
    }
    parser.skipBlanks();
    try {
        if (keyword == "BYE") {
            if (m_loggingOut)
                return;
            const QByteArray text = parser.rest();
            close();
            failStatus(keyword, text);
        }
        if (keyword == "CAPABILITY") {
            m_capabilities.clear();
            for (const QByteArray& word : parser.rest().split(' ')) {
                if (!word.isEmpty())
                    m_capabilities.append(QString::fromLatin1(word));
            }
            return;
        }
        if (keyword == "OK" || keyword == "NO" || keyword == "BAD")
            readResponseCode(parser.rest());
        if (keyword == "EXISTS" && number >= 0)
            m_mailbox.messages = static_cast<quint32>(number);
        if (untagged)
            untagged(number, keyword, parser);
    } catch (const ImapSyntaxError& error) {
        failMalformed(error.message());
    }
}

void ImapSession::readResponseCode(const QByteArray& text)
{
    if (!text.startsWith('['))
        return;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return;
    const QList<QByteArray> words = text.mid(1, close - 1).split(' ');
    const QByteArray code = words.first().toUpper();
    if (code == "CAPABILITY") {
        m_capabilities.clear();
        for (const QByteArray& word : words.mid(1)) {
            if (!word.isEmpty())
                m_capabilities.append(QString::fromLatin1(word));
        }
    } else if (code == "UIDVALIDITY" || code == "UIDNEXT") {
        bool ok = false;
        const quint32 value = words.value(1).toUInt(&ok);
        if (!ok)
            failMalformed(QStringLiteral("%1 is not a number").arg(QString::fromLatin1(code)));
        (code == "UIDVALIDITY" ? m_mailbox.uidValidity : m_mailbox.uidNext) = value;
    }
}

QByteArray ImapSession::readResponse(StreamedLiteral* literal)
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
            // The parser sees an empty literal in its place.
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

void ImapSession::streamLiteral(qint64 size, StreamedLiteral& literal)
{
    if (literal.streamed)
        failMalformed(QStringLiteral("the part came twice"));
    if (literal.maxBytes >= 0 && size > literal.maxBytes)
        failMalformed(QStringLiteral("the server announced more than was asked"));
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

QByteArray ImapSession::readLine()
{
    for (;;) {
        if (m_socket->canReadLine()) {
            QByteArray line = m_socket->readLine(MaxLineBytes + 2);
            if (!line.endsWith('\n'))
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

QByteArray ImapSession::readBytes(qint64 size)
{
    QByteArray bytes;
    while (bytes.size() < size) {
        if (m_socket->bytesAvailable() == 0)
            waitForData();
        bytes += m_socket->read(std::min(size - bytes.size(), ReadChunkSize));
    }
    return bytes;
}

void ImapSession::waitForData()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        failSocket();
    if (m_socket->waitForReadyRead(m_replyTimeoutMs))
        return;
    if (m_socket->state() != QAbstractSocket::ConnectedState ||
        m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        failSocket();
    // A late answer would be taken as the reply to the next command.
    close();
    throw KestrelError(QStringLiteral("While %1: %2")
                           .arg(m_step, socketProblemText(QAbstractSocket::SocketTimeoutError, Host,
                                                          Port, m_replyTimeoutMs)));
}

void ImapSession::writeBytes(const QByteArray& bytes)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        failSocket();
    if (m_socket->write(bytes) != bytes.size())
        failSocket();
    m_socket->flush();
}

void ImapSession::failStatus(const QByteArray& status, const QByteArray& text)
{
    QString words = hidden(QString::fromUtf8(text).simplified());
    if (words.size() > MaxQuotedText)
        words = words.left(MaxQuotedText) + QStringLiteral("...");
    if (status == "BYE") {
        close();
        throw KestrelError(QStringLiteral("The IMAP server %1 closed the connection while %2: %3")
                               .arg(serverName(), m_step, words));
    }
    throw KestrelError(QStringLiteral("The IMAP server %1 answered %2 while %3: %4")
                           .arg(serverName(), QString::fromLatin1(status), m_step, words));
}

void ImapSession::failMalformed(const QString& detail)
{
    close();
    throw KestrelError(QStringLiteral("The IMAP server %1 sent a malformed reply while %2 (%3).")
                           .arg(serverName(), m_step, hidden(detail)));
}

void ImapSession::failSocket()
{
    const QAbstractSocket::SocketError error =
        m_socket->error() == QAbstractSocket::SocketTimeoutError
            ? QAbstractSocket::UnknownSocketError
            : m_socket->error();
    const QString reason = socketProblemText(error, Host, Port, m_replyTimeoutMs);
    close();
    throw KestrelError(QStringLiteral("While %1: %2").arg(m_step, reason));
}

void ImapSession::checkCertificate(const QList<QSslError>& errors)
{
    QList<QSslCertificate> chain = m_socket->peerCertificateChain();
    if (chain.isEmpty() && !m_socket->peerCertificate().isNull())
        chain.append(m_socket->peerCertificate());
    if (!userMayTrust(errors))
        return;
    if (!m_trustedDigest.isEmpty() && !chain.isEmpty() &&
        chain.constFirst().digest(QCryptographicHash::Sha256) == m_trustedDigest) {
        m_socket->ignoreSslErrors();
        return;
    }
    m_refusedChain = chain;
}

void ImapSession::failSecuring()
{
    const QList<QSslError> problems = m_socket->sslHandshakeErrors();
    if (problems.isEmpty())
        throw KestrelError(socketProblemText(m_socket->error(), Host, Port, m_connectTimeoutMs));
    const QString message =
        QStringLiteral("The connection to the IMAP server could not be made secure (%1): %2.")
            .arg(serverName(), certificateProblemText(problems, Host));
    if (!m_refusedChain.isEmpty())
        throw UntrustedCertificateError(message, Host, Port, m_refusedChain, problems,
                                        m_trustedDigest);
    throw KestrelError(message);
}
