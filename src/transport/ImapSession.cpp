#include "transport/ImapSession.h"

#include "core/KestrelError.h"
#include "transport/ImapCommandText.h"
#include "transport/ImapFetchItems.h"
#include "transport/ImapValue.h"
#include "transport/SaslBearer.h"
#include "transport/SecretMask.h"
#include "transport/SmtpProblemText.h"
#include "transport/UntrustedCertificateError.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThread>

#include <algorithm>
#include <optional>

namespace {

const QString Protocol = QStringLiteral("IMAP");

constexpr qint64 MaxSearchResults = 5 * 1000 * 1000;
// A server's words quoted in an error are cut to this length.
constexpr qsizetype MaxQuotedText = 300;

// Adds the UIDs of a set to those of the replies before: the cap counts them all, so
// a server cannot ask for an allocation without bound over many short replies.
void expandSet(const QByteArray& set, QList<quint32>& uids)
{
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
}

} // namespace

ImapSession::ImapSession()
{
    m_certificateCheck.watch(m_connection.socket());
}

// The connection leaves a socket of another thread to that thread.
ImapSession::~ImapSession() = default;

void ImapSession::addCaCertificates(const QList<QSslCertificate>& certificates)
{
    PeerCertificateCheck::addCaCertificates(m_connection.socket(), certificates);
}

bool ImapSession::isEncrypted() const
{
    return m_connection.socket().isEncrypted();
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
    text = maskedSecret(std::move(text), UserName, Password);
    for (const QString& form : m_tokenForms)
        text.replace(form, QStringLiteral("***"));
    return text;
}

void ImapSession::connectToServer()
{
    if (isConnected())
        return;
    m_capabilities.clear();
    m_authenticated = false;
    m_loggingOut = false;
    m_certificateCheck.reset();
    if (Host.trimmed().isEmpty())
        throw KestrelError(QStringLiteral("No IMAP server is set."));
    QSslSocket& socket = m_connection.socket();
    try {
        m_connection.host = Host;
        m_connection.port = Port;
        m_connection.replyTimeoutMs = m_replyTimeoutMs;
        m_connection.step = QStringLiteral("connecting");
        socket.setPeerVerifyName(Host);
        if (usesTlsFromStart(Encryption, Port, m_implicitTlsPort)) {
            socket.connectToHostEncrypted(Host, static_cast<quint16>(Port));
            if (!socket.waitForEncrypted(m_connectTimeoutMs)) {
                try {
                    failSecuring();
                } catch (const UntrustedCertificateError&) {
                    throw;
                } catch (const KestrelError& error) {
                    if (socket.error() == QAbstractSocket::SslHandshakeFailedError ||
                        socket.error() == QAbstractSocket::RemoteHostClosedError)
                        throw KestrelError(plainServerMetWithTls(error.message(), Protocol));
                    throw;
                }
            }
        } else {
            socket.connectToHost(Host, static_cast<quint16>(Port));
            if (!socket.waitForConnected(m_connectTimeoutMs)) {
                const QAbstractSocket::SocketError error =
                    socket.error() == QAbstractSocket::UnknownSocketError
                        ? QAbstractSocket::SocketTimeoutError
                        : socket.error();
                throw KestrelError(socketProblemText(error, Host, Port, m_connectTimeoutMs));
            }
            if (Encryption == MailEncryption::None && !socket.peerAddress().isLoopback())
                throw KestrelError(unencryptedRefused(serverName(), Protocol));
            awaitPlainGreeting();
        }
        m_connection.step = QStringLiteral("reading the greeting");
        const QByteArray greeting = m_connection.readResponse(nullptr);
        ImapParser parser(greeting);
        const QByteArray star = parser.word();
        const QByteArray status = parser.word().toUpper();
        if (star != "*" || (status != "OK" && status != "PREAUTH" && status != "BYE"))
            m_connection.failMalformed(QStringLiteral("not a greeting"));
        parser.skipBlanks();
        if (status == "BYE")
            failStatus(status, parser.rest());
        readResponseCode(parser.rest());
        m_authenticated = status == "PREAUTH";
        if (m_capabilities.isEmpty())
            askCapabilities();
        if (!socket.isEncrypted() && Encryption == MailEncryption::StartTls && !has("STARTTLS"))
            throw KestrelError(startTlsNotOffered(serverName(), Protocol));
        if (!socket.isEncrypted() && has("STARTTLS") && Encryption != MailEncryption::None) {
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

void ImapSession::awaitPlainGreeting()
{
    QSslSocket& socket = m_connection.socket();
    const int waitMs = qMin(m_connectTimeoutMs, m_replyTimeoutMs);
    const QDeadlineTimer deadline(waitMs);
    while (socket.bytesAvailable() == 0) {
        if (socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            continue;
        if (socket.state() != QAbstractSocket::ConnectedState ||
            socket.error() == QAbstractSocket::RemoteHostClosedError) {
            throw KestrelError(
                tlsServerMetWithoutTls(socketProblemText(QAbstractSocket::RemoteHostClosedError,
                                                         Host, Port, m_connectTimeoutMs),
                                       Protocol));
        }
        if (deadline.hasExpired()) {
            throw KestrelError(tlsServerMetWithoutTls(
                socketProblemText(QAbstractSocket::SocketTimeoutError, Host, Port, waitMs),
                Protocol));
        }
    }
    if (looksLikeTls(socket.peek(2))) {
        throw KestrelError(tlsServerMetWithoutTls(
            QStringLiteral("The server %1 answered in TLS.").arg(serverName()), Protocol));
    }
}

void ImapSession::askCapabilities()
{
    m_connection.step = QStringLiteral("asking for the server's capabilities");
    m_capabilities.clear();
    runCommand({"CAPABILITY"});
    if (!has("IMAP4rev1") && !has("IMAP4rev2"))
        m_connection.failMalformed(
            QStringLiteral("the server does not speak IMAP4rev1 or IMAP4rev2"));
}

void ImapSession::startTls()
{
    QSslSocket& socket = m_connection.socket();
    m_connection.step = QStringLiteral("encrypting the connection");
    runCommand({"STARTTLS"});
    // Whatever followed the answer came before the handshake, unprotected, and must
    // not be taken as a reply (RFC 3501 section 6.2.1).
    socket.readAll();
    m_capabilities.clear();
    socket.startClientEncryption();
    if (!socket.waitForEncrypted(m_connectTimeoutMs))
        failSecuring();
}

void ImapSession::logIn()
{
    QSslSocket& socket = m_connection.socket();
    m_connection.step = QStringLiteral("logging in");
    if (!socket.isEncrypted() && !socket.peerAddress().isLoopback())
        throw KestrelError(
            QStringLiteral("The IMAP server %1 offers no encrypted connection (neither TLS on "
                           "port %2 nor STARTTLS), and a password is never sent unencrypted.")
                .arg(serverName())
                .arg(m_implicitTlsPort));
    if (accessToken) {
        logInWithToken();
        return;
    }
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

void ImapSession::logInWithToken()
{
    if (UserName.isEmpty())
        throw KestrelError(QStringLiteral("No user name is set for the IMAP server %1: the "
                                          "access token is sent with the account's address.")
                               .arg(serverName()));
    QStringList offered;
    for (const QString& capability : std::as_const(m_capabilities)) {
        if (capability.startsWith(QLatin1String("AUTH="), Qt::CaseInsensitive))
            offered << capability.mid(5);
    }
    const SaslBearer::Opening opening =
        SaslBearer::open(offered, Protocol, serverName(), accessToken, UserName, Host, Port);
    m_tokenForms = opening.secretForms;
    const QByteArray& response = opening.response;
    const QByteArray command = "AUTHENTICATE " + SaslBearer::name(opening.mechanism);
    // The last piece answers the challenge that carries a refusal's error, so that
    // the server ends the exchange with its NO (RFC 7628 section 3.2.2).
    const QByteArray acknowledgement = SaslBearer::refusalAcknowledgement(opening.mechanism);
    if (has("SASL-IR"))
        runCommand({command + ' ' + response, acknowledgement});
    else
        runCommand({command, response, acknowledgement});
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
    m_connection.step = QStringLiteral("opening the mailbox \"%1\"").arg(mailbox);
    m_mailbox = {};
    bool uidValidityTold = false;
    runCommand({"EXAMINE " + ImapCommandText::quoted(ImapCommandText::mailboxName(mailbox))},
               [&](qint64, const QByteArray& keyword, ImapParser& parser) {
                   if (keyword == "OK" && parser.rest().toUpper().contains("[UIDVALIDITY "))
                       uidValidityTold = true;
               });
    if (!uidValidityTold)
        m_connection.failMalformed(QStringLiteral("the mailbox's UIDVALIDITY is missing"));
    return m_mailbox;
}

QList<quint32> ImapSession::searchSubject(const QString& text, quint32 aboveUid)
{
    m_connection.step = QStringLiteral("searching for save notes");
    const QByteArray bytes = text.toUtf8();
    QByteArray command = ImapCommandText::fitsQuoted(bytes)
                             ? QByteArray("UID SEARCH ")
                             : QByteArray("UID SEARCH CHARSET UTF-8 ");
    if (aboveUid > 0)
        command += "UID " + QByteArray::number(quint64(aboveUid) + 1) + ":* ";
    QList<QByteArray> pieces{command + "SUBJECT "};
    appendString(pieces, bytes);
    QList<quint32> uids = runSearch(pieces);
    // "n:*" always takes in the last message, even when its UID is below n.
    uids.removeIf([aboveUid](quint32 uid) { return uid <= aboveUid; });
    return uids;
}

QList<quint32> ImapSession::searchAll()
{
    m_connection.step = QStringLiteral("listing the mailbox");
    return runSearch({QByteArray("UID SEARCH ALL")});
}

QList<quint32> ImapSession::runSearch(const QList<QByteArray>& pieces)
{
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
                    expandSet(values[i + 1].text, uids);
            }
        }
    });
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    return uids;
}

QList<MailboxNote> ImapSession::fetchNotes(const QList<quint32>& uids)
{
    m_connection.step = QStringLiteral("reading the save notes");
    QMap<quint32, MailboxNote> notes;
    QList<quint32> sorted = uids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (qsizetype start = 0; start < sorted.size(); start += FetchBatchSize) {
        const QList<quint32> batch = sorted.mid(start, FetchBatchSize);
        QString fault;
        runCommand({"UID FETCH " + ImapCommandText::uidSet(batch) +
                    " (UID RFC822.SIZE INTERNALDATE BODY.PEEK[HEADER.FIELDS (SUBJECT DATE "
                    "MESSAGE-ID X-KESTREL-SET)] "
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
            m_connection.failMalformed(fault);
    }
    return notes.values();
}

void ImapSession::checkSectionName(const QByteArray& section)
{
    if (section.isEmpty() || !std::all_of(section.begin(), section.end(), [](char c) {
            return (c >= '0' && c <= '9') || c == '.';
        }))
        throw KestrelError(QStringLiteral("The attachment's part \"%1\" is not a part number.")
                               .arg(QString::fromLatin1(section)));
}

qint64 ImapSession::fetchSection(quint32 uid, const QByteArray& section, const Sink& sink,
                                 qint64 offset, qint64 length)
{
    m_connection.step = QStringLiteral("downloading an attachment");
    checkSectionName(section);
    const bool partial = offset >= 0;
    ImapConnection::StreamedLiteral literal;
    literal.item = "BODY[" + section + ']';
    literal.sink = sink;
    literal.maxBytes = length;
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

void ImapSession::fetchSections(const QList<quint32>& uids, const QByteArray& section,
                                qint64 maxBytes, const TakeSection& take)
{
    m_connection.step = QStringLiteral("downloading attachments");
    checkSectionName(section);
    const QByteArray item = "BODY[" + section + ']';
    QList<quint32> sorted = uids;
    std::sort(sorted.begin(), sorted.end());
    QString fault;
    runCommand(
        {"UID FETCH " + ImapCommandText::uidSet(sorted) + " (UID BODY.PEEK[" + section + "])"},
        [&](qint64, const QByteArray& keyword, ImapParser& parser) {
            if (keyword != "FETCH")
                return;
            const ImapValue items = parser.value();
            if (!items.isList() || items.items.size() % 2 != 0) {
                fault = QStringLiteral("a FETCH reply is not a list of items");
                return;
            }
            quint32 uid = 0;
            const ImapValue* body = nullptr;
            for (qsizetype i = 0; i < items.items.size(); i += 2) {
                const ImapValue& name = items.items[i];
                if (name.isAtom("UID"))
                    uid = static_cast<quint32>(items.items[i + 1].number().value_or(0));
                else if (name.kind == ImapValue::Kind::Atom && name.text.toUpper() == item)
                    body = &items.items[i + 1];
            }
            // Flag changes of other messages may come unasked.
            if (!body || !std::binary_search(sorted.begin(), sorted.end(), uid))
                return;
            if (body->kind != ImapValue::Kind::String)
                fault = QStringLiteral("a part is not a string");
            else if (maxBytes >= 0 && body->text.size() > maxBytes)
                fault = QStringLiteral("the part is larger than the message's structure "
                                       "said");
            else if (fault.isEmpty())
                take(uid, body->text);
        });
    // The rest of the reply was read first, so that the session stays in step.
    if (!fault.isEmpty())
        m_connection.failMalformed(fault);
}

void ImapSession::logout()
{
    // Only the socket's own thread may use it.
    if (m_connection.socket().thread() != QThread::currentThread())
        return;
    if (isConnected()) {
        m_loggingOut = true;
        // The answer matters little; the connection closes either way.
        m_connection.replyTimeoutMs = std::min(m_replyTimeoutMs, 5000);
        try {
            m_connection.step = QStringLiteral("logging out");
            runCommand({"LOGOUT"});
        } catch (const KestrelError&) {
        }
        m_connection.replyTimeoutMs = m_replyTimeoutMs;
    }
    close();
}

bool ImapSession::isConnected()
{
    return m_connection.isConnected();
}

void ImapSession::close()
{
    m_connection.close();
    m_authenticated = false;
    m_capabilities.clear();
}

QByteArray ImapSession::runCommand(const QList<QByteArray>& pieces, const Untagged& untagged,
                                   ImapConnection::StreamedLiteral* literal)
{
    const QByteArray tag = 'K' + QByteArray::number(++m_tagNumber);
    qsizetype next = 0;
    bool answered = false;
    try {
        m_connection.write(tag + ' ' + pieces[next++] + "\r\n");
        for (;;) {
            const QByteArray response = m_connection.readResponse(literal);
            if (response.startsWith('+')) {
                // The server invites the next piece: a literal or the credentials.
                if (next >= pieces.size())
                    m_connection.failMalformed(
                        QStringLiteral("an invitation to go on that nothing asked for"));
                m_connection.write(pieces[next++] + "\r\n");
                continue;
            }
            ImapParser parser(response);
            const QByteArray first = parser.word();
            if (first == "*") {
                handleUntagged(response, untagged);
                continue;
            }
            if (first != tag)
                m_connection.failMalformed(
                    QStringLiteral("an answer to a command it was not sent"));
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
            m_connection.failMalformed(QStringLiteral("an answer that is neither OK, NO nor BAD"));
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
            m_connection.failMalformed(QStringLiteral("a message number is too large"));
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
        m_connection.failMalformed(error.message());
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
            m_connection.failMalformed(
                QStringLiteral("%1 is not a number").arg(QString::fromLatin1(code)));
        (code == "UIDVALIDITY" ? m_mailbox.uidValidity : m_mailbox.uidNext) = value;
    }
}

void ImapSession::failStatus(const QByteArray& status, const QByteArray& text)
{
    QString words = hidden(QString::fromUtf8(text).simplified());
    if (words.size() > MaxQuotedText)
        words = words.left(MaxQuotedText) + QStringLiteral("...");
    if (status == "BYE") {
        close();
        throw KestrelError(QStringLiteral("The IMAP server %1 closed the connection while %2: %3")
                               .arg(serverName(), m_connection.step, words));
    }
    throw KestrelError(
        QStringLiteral("The IMAP server %1 answered %2 while %3: %4")
            .arg(serverName(), QString::fromLatin1(status), m_connection.step, words));
}

void ImapSession::failSecuring()
{
    m_certificateCheck.failSecuring(m_connection.socket(), Host, Port, m_connectTimeoutMs,
                                    QStringLiteral("The connection to the IMAP server"),
                                    serverName());
}
