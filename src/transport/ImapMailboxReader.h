#pragma once

#include "transport/AccessToken.h"
#include "transport/MailEncryption.h"
#include "transport/MailboxReader.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QSslCertificate>
#include <QString>

#include <memory>

class ImapSession;

// The mailbox of save notes read over IMAP. The session is made in open, on the
// thread that opens, and ended in close, so its socket is only ever used on one
// thread; a reader destroyed elsewhere leaves the socket to that thread.
class ImapMailboxReader : public MailboxReader
{
public:
    struct Settings
    {
        QString host;
        int port = 993;
        QString userName;
        QString password;
        QString mailbox;
        MailEncryption encryption = MailEncryption::ByPort;
        // Set when the session logs in with an access token instead of the password.
        AccessTokenSource accessToken = {};
    };

    // The IMAP settings, with the SMTP server's name (with "imap." for a leading
    // "smtp.") and the SMTP log-in standing in for those left empty.
    static Settings settingsFromStore();

    explicit ImapMailboxReader(Settings settings);
    ~ImapMailboxReader() override;

    // "user@host:port/mailbox": names the mailbox for the catalog; never a password.
    QString mailboxKey() const;
    const Settings& settings() const { return m_settings; }

    void setConnectTimeoutMs(int milliseconds) { m_connectTimeoutMs = milliseconds; }
    void setReplyTimeoutMs(int milliseconds) { m_replyTimeoutMs = milliseconds; }
    void setImplicitTlsPort(int port) { m_implicitTlsPort = port; }
    void addCaCertificates(const QList<QSslCertificate>& certificates)
    {
        m_caCertificates += certificates;
    }

    MailboxState open() override;
    QList<quint32> findSubjects(const QString& text, quint32 aboveUid = 0) override;
    QList<quint32> allUids() override;
    QList<MailboxNote> readNotes(const QList<quint32>& uids) override;
    void fetchAttachment(const MailboxNote& note, QIODevice& decoded,
                         const Progress& progress = {}) override;
    void expectAttachments(const QList<MailboxNote>& notes) override;
    QByteArray fetchAttachmentTail(const MailboxNote& note, qint64 maxBytes) override;
    QByteArray fetchAttachmentHead(const MailboxNote& note, qint64 maxBytes) override;
    void close() override;
    bool isOpen() override;

private:
    ImapSession& session();
    // The last bytes (at most wanted) of the attachment's part as it is encoded; whole
    // tells whether they are all of it.
    QByteArray sectionTail(const MailboxNote& note, qint64 wanted, bool* whole);

    Settings m_settings;
    std::unique_ptr<ImapSession> m_session;
    // Attachments fetched ahead, as encoded, by UID and section.
    QHash<QPair<quint32, QByteArray>, QByteArray> m_ahead;
    qint64 m_aheadBytes = 0;
    int m_connectTimeoutMs;
    int m_replyTimeoutMs;
    int m_implicitTlsPort;
    QList<QSslCertificate> m_caCertificates;
};
