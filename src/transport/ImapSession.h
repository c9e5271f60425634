#pragma once

#include "transport/AccessToken.h"
#include "transport/MailEncryption.h"

#include "transport/ImapConnection.h"
#include "transport/MailboxReader.h"
#include "transport/PeerCertificateCheck.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QStringList>

#include <functional>

class ImapParser;

// The client side of one IMAP session (RFC 3501 IMAP4rev1, RFC 9051 IMAP4rev2) that
// reads a mailbox without changing it. Every operation writes its command and blocks
// until the server's tagged answer arrives or no byte has come for the reply
// time-out; it needs no event loop, so a session can live on a worker thread (one
// thread per session, the one that made it).
//
// It speaks TLS from the start on port 993 (RFC 8314), takes STARTTLS whenever the
// server offers it on another port (or as Encryption says otherwise), and logs in with AUTHENTICATE
// PLAIN when offered (RFC 4616), otherwise LOGIN unless the server disables it; but it never sends
// a password over a plain connection except to this computer. Certificates are checked as TIdSMTP
// checks them. Attachments are streamed from their literal to a sink as they arrive. Replies are
// capped in size, so a hostile server cannot fill memory. Errors are KestrelError, naming what the
// session was doing, never a command (it may hold credentials) and never the password.
class ImapSession
{
public:
    ImapSession();
    ~ImapSession();
    ImapSession(const ImapSession&) = delete;
    ImapSession& operator=(const ImapSession&) = delete;

    QString Host;
    int Port = 993;
    QString UserName;
    QString Password;
    // When set, the session logs in with an OAuth2 access token from it (OAUTHBEARER
    // or XOAUTH2, whichever the server names first) instead of the password.
    AccessTokenSource accessToken;
    MailEncryption Encryption = MailEncryption::ByPort;

    static constexpr int DefaultConnectTimeoutMs = 30 * 1000;
    static constexpr int DefaultReplyTimeoutMs = 5 * 60 * 1000;
    static constexpr int ImplicitTlsPort = 993;
    // UIDs asked for in one FETCH: commands stay short and replies come in steps.
    static constexpr int FetchBatchSize = 500;

    void setConnectTimeoutMs(int milliseconds) { m_connectTimeoutMs = milliseconds; }
    // The longest wait for the next byte of a reply.
    void setReplyTimeoutMs(int milliseconds) { m_replyTimeoutMs = milliseconds; }
    void setImplicitTlsPort(int port) { m_implicitTlsPort = port; }
    void addCaCertificates(const QList<QSslCertificate>& certificates);
    // As TIdSMTP::setTrustedCertificate.
    void setTrustedCertificate(const QByteArray& sha256Digest)
    {
        m_certificateCheck.setTrustedDigest(sha256Digest);
    }

    // Connects, reads the greeting and capabilities, encrypts and logs in. Throws
    // KestrelError (UntrustedCertificateError for a certificate the user may trust);
    // a failure leaves the session closed.
    void connectToServer();
    bool isConnected();
    bool isEncrypted() const;
    bool isAuthenticated() const { return m_authenticated; }
    const QStringList& capabilities() const { return m_capabilities; }

    // Opens the mailbox read-only (EXAMINE).
    MailboxReader::MailboxState examine(const QString& mailbox);
    // The UIDs above aboveUid of the messages whose Subject contains the text,
    // ascending.
    QList<quint32> searchSubject(const QString& text, quint32 aboveUid = 0);
    // The UIDs of every message, ascending.
    QList<quint32> searchAll();
    // Size, dates, subject and attachment of each message, in batches; messages the
    // mailbox no longer holds are left out. Order: ascending UID.
    QList<MailboxNote> fetchNotes(const QList<quint32>& uids);
    // Hands the bytes of the message's body section to the sink as they arrive and
    // returns their number. With an offset only up to length bytes from there are
    // fetched (a partial fetch); without one, length (when not negative) is the most
    // the section may hold: a larger one is refused before the sink sees any of it.
    // The sink may throw: the connection is then closed, since the rest of the reply
    // would be out of step.
    using Sink = std::function<void(QByteArrayView bytes)>;
    qint64 fetchSection(quint32 uid, const QByteArray& section, const Sink& sink,
                        qint64 offset = -1, qint64 length = -1);
    // The same body section of several small messages in one command, each part held
    // in memory as it comes (the server may answer in any order); take is called with
    // each message's UID and its part. Messages the mailbox no longer holds are left
    // out; a part larger than maxBytes is refused.
    using TakeSection = std::function<void(quint32 uid, const QByteArray& bytes)>;
    void fetchSections(const QList<quint32>& uids, const QByteArray& section, qint64 maxBytes,
                       const TakeSection& take);
    // Says LOGOUT and closes; never throws.
    void logout();

private:
    QList<quint32> runSearch(const QList<QByteArray>& pieces);
    // Called with each untagged reply the session does not handle itself: its
    // number (or -1), its keyword and a parser at the rest.
    using Untagged = std::function<void(qint64 number, const QByteArray& keyword, ImapParser&)>;

    QByteArray runCommand(const QList<QByteArray>& pieces, const Untagged& untagged = {},
                          ImapConnection::StreamedLiteral* literal = nullptr);
    void handleUntagged(const QByteArray& response, const Untagged& untagged);
    static void checkSectionName(const QByteArray& section);
    void readResponseCode(const QByteArray& text);
    void askCapabilities();
    void logInWithToken();
    void startTls();
    // As TIdSMTP's: a server that sends TLS, nothing or closes at once before its
    // greeting is told to be one that speaks TLS from the start.
    void awaitPlainGreeting();
    void logIn();
    // Appends a string argument: quoted when it can be, else as a literal.
    void appendString(QList<QByteArray>& pieces, const QByteArray& bytes) const;
    bool has(const char* capability) const;
    void close();
    QString serverName() const;
    QString hidden(QString text) const;
    [[noreturn]] void failStatus(const QByteArray& status, const QByteArray& text);
    [[noreturn]] void failSecuring();

    // Before the connection, so that it goes after the socket.
    PeerCertificateCheck m_certificateCheck;
    ImapConnection m_connection;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
    int m_replyTimeoutMs = DefaultReplyTimeoutMs;
    int m_implicitTlsPort = ImplicitTlsPort;
    QStringList m_capabilities;
    // The forms of the access token last sent, masked like the password.
    QStringList m_tokenForms;
    bool m_authenticated = false;
    bool m_loggingOut = false;
    int m_tagNumber = 0;
    MailboxReader::MailboxState m_mailbox;
};
