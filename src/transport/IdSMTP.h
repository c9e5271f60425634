#pragma once

#include "transport/AccessToken.h"
#include "transport/MailEncryption.h"
#include "transport/PeerCertificateCheck.h"

#include <QDeadlineTimer>
#include <QSslCertificate>
#include <QSslSocket>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>

class TIdMessage;

// The client side of one SMTP session (RFC 5321). Every operation writes its
// command and blocks until the server's reply arrives or the time-out runs out;
// it needs no event loop and keeps no global state, so a session can live on a
// worker thread (one thread per session).
//
// Beyond the plain conversation it encrypts as Encryption says: by default it takes
// STARTTLS whenever the server offers it (RFC 3207) and speaks TLS from the start on
// port 465 (RFC 8314); TLS from the start on any port, STARTTLS required, or none (a
// server on this computer only) when chosen. It logs in with
// AUTH PLAIN or LOGIN (RFC 4954) when the server offers it and a user name and
// password are set, but only over an encrypted or loopback connection. The
// password never appears in an error text. A certificate the system does not trust
// fails Connect with an UntrustedCertificateError, unless it is the one the user
// trusts for this server (setTrustedCertificate).
class TIdSMTP
{
public:
    TIdSMTP();
    ~TIdSMTP();
    TIdSMTP(const TIdSMTP&) = delete;
    TIdSMTP& operator=(const TIdSMTP&) = delete;

    QString Host;
    int Port = 25;
    QString UserId;
    QString Password;
    // When set, the session logs in with an OAuth2 access token from it (OAUTHBEARER
    // or XOAUTH2, whichever the server names first) instead of the password.
    AccessTokenSource accessToken;
    // Written as the "X-Mailer" header; empty writes none.
    QString MailAgent;
    MailEncryption Encryption = MailEncryption::ByPort;

    static constexpr int DefaultConnectTimeoutMs = 30 * 1000;
    static constexpr int DefaultReplyTimeoutMs = 5 * 60 * 1000;
    static constexpr int ImplicitTlsPort = 465;

    void setConnectTimeoutMs(int milliseconds) { m_connectTimeoutMs = milliseconds; }
    void setReplyTimeoutMs(int milliseconds) { m_replyTimeoutMs = milliseconds; }
    // The port on which the server speaks TLS from the first byte; 465 unless set.
    void setImplicitTlsPort(int port) { m_implicitTlsPort = port; }
    // Certificates trusted in addition to the system's, for a server with a
    // certificate of its own making.
    void addCaCertificates(const QList<QSslCertificate>& certificates);
    // The SHA-256 digest of the one certificate the user trusts for this server
    // although the system does not; it is accepted whatever its faults, and only it.
    // A certificate the system does not trust otherwise fails Connect with an
    // UntrustedCertificateError, so the user can be asked.
    void setTrustedCertificate(const QByteArray& sha256Digest)
    {
        m_certificateCheck.setTrustedDigest(sha256Digest);
    }

    // Opens the connection and greets the server. Throws KestrelError; a failed
    // Connect leaves the session closed.
    void Connect();
    // Whether the connection is open; one the server has closed counts as closed.
    bool Connected();
    // Transmits a message over the open session. Throws KestrelError. A failure
    // after the server accepted "Data" closes the session, because the server
    // would take the next command as message text.
    void Send(TIdMessage& message);
    // Called on the session's thread while Send writes a message's text, with the
    // bytes written and the message's size; for progress shown while a large archive
    // is mailed.
    using ProgressHandler = std::function<void(qint64 written, qint64 total)>;
    void setProgressHandler(ProgressHandler handler) { m_progressHandler = std::move(handler); }
    // Says "Quit" without waiting for the answer and closes the connection.
    void Disconnect();

    // What the last failure was: None when it was no answer of the server (the
    // connection failed, broke off or ran out of time), LogIn when the server refused
    // the user name and password, AppPassword when it wants an app password instead
    // of the account's own, Other for any other refusal.
    enum class Refusal
    {
        None,
        LogIn,
        AppPassword,
        Other
    };
    Refusal lastRefusal() const { return m_refusal; }

    int ReplyCode() const { return m_replyCode; }
    // Whether the last reply refused a message for its size: 552 (RFC 5321 section
    // 4.2.2) unless its enhanced code names another reason, or any 5.3.4 or 5.2.3
    // (RFC 3463: message too big).
    bool refusedForSize() const;
    // Whether the last reply asks to send less or later: 421 (the server closes),
    // 454, or an enhanced code 4.7.x (RFC 3463: a temporary refusal of policy), as
    // providers answer an account that sends too much too fast.
    bool askedToSlowDown() const;
    // Messages the server accepted over this session's life.
    int messagesAccepted() const { return m_messagesAccepted; }
    QString ReplyText() const { return m_replyText; }
    bool isEncrypted() const { return m_socket.isEncrypted(); }
    bool isAuthenticated() const { return m_authenticated; }
    // The size limit the server announced with SIZE; 0 when it announced none.
    qint64 sizeLimit() const { return m_sizeLimit; }

private:
    // step says in words what the reply answers ("to the recipient address ..."); an
    // unexpected reply's error names it, never the command, which may hold credentials.
    int ReadReply(std::initializer_list<int> expected, const QString& step = QString());
    int SendCommand(const QString& text, std::initializer_list<int> expected,
                    const QString& step = QString());
    void greet();
    // Waits for the first bytes of the greeting of a plain connection; a server that
    // sends TLS, or nothing, or closes at once is told apart from a plain one.
    void awaitPlainGreeting();
    // A refusal's words, with the empty log-in field named when the server asked for a
    // log-in.
    QString withLogInHint(const QString& refusal) const;
    void startTls();
    void authenticate();
    void authenticateWithToken();
    // Sends one command of the log-in; a refusal says what the user can do about it.
    void sendLogInCommand(const QString& text, int expected, const QString& step);
    QByteArray readLine(const QDeadlineTimer& deadline);
    void writeBytes(const QByteArray& bytes);
    void writeMessage(TIdMessage& message);
    void close();
    [[noreturn]] void failConnectionLost();
    [[noreturn]] void failSecuring();
    QString localHostName() const;
    QString serverName() const;

    // Before the socket, so that it goes after it.
    PeerCertificateCheck m_certificateCheck;
    QSslSocket m_socket;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
    int m_replyTimeoutMs = DefaultReplyTimeoutMs;
    int m_implicitTlsPort = ImplicitTlsPort;
    int m_replyCode = 0;
    QString m_replyText;
    QStringList m_replyLines;
    QStringList m_extensions;
    qint64 m_sizeLimit = 0;
    ProgressHandler m_progressHandler;
    bool m_authenticated = false;
    int m_messagesAccepted = 0;
    // The forms of the access token last sent, masked like the password.
    QStringList m_tokenForms;
    Refusal m_refusal = Refusal::None;
    // The empty field of a log-in the server offers, for the words of a refusal.
    QString m_missingLogInField;
};
