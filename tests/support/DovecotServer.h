#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include "transport/ImapMailboxReader.h"

// A real IMAP server for tests: Debian's dovecot, started by the test itself in a
// folder of its own (configuration, run, state, log and maildir folders all below
// it), listening on 127.0.0.1 only, with one user from a passwd-file. It never runs
// with root privileges: started by root it runs as "nobody", so the folder is made
// reachable for that user. Messages are delivered by writing them into the maildir.
class DovecotServer
{
public:
    struct Options
    {
        QString user = QStringLiteral("ann");
        QString password = QStringLiteral("dovecot-test-secret");
        // A certificate and key turn on STARTTLS on port() and TLS from the first byte
        // on tlsPort().
        QString certificateFile;
        QString keyFile;
        // Listeners for a mail server in front: LMTP delivery into the maildir and the
        // authentication service for its SMTP log-ins, both on 127.0.0.1.
        bool forMailServer = false;
        // Log-ins by OAUTHBEARER or XOAUTH2 only, the access token checked by posting it
        // to this OAuth2 introspection endpoint, which must name the user.
        QString oauth2IntrospectionUrl;
    };

    DovecotServer(const QString& folder, const Options& options);
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Whether dovecot is installed; a test skips without it.
    static bool available();

    // 0 when the server did not start; errorText() says why.
    quint16 port() const { return m_port; }
    quint16 tlsPort() const { return m_tlsPort; }
    quint16 lmtpPort() const { return m_lmtpPort; }
    quint16 authPort() const { return m_authPort; }
    QString errorText() const { return m_error; }
    const Options& options() const { return m_options; }
    // The reader's settings for this server's INBOX, on port() (STARTTLS when TLS is on).
    ImapMailboxReader::Settings readerSettings() const;
    // The same as the stored IMAP settings, for the program's own runs.
    void storeReaderSettings() const;
    // What dovecot wrote to its log, for a test that failed.
    QString logText() const;

    // Delivers one message (its raw text, CR LF line ends) into the user's INBOX.
    bool deliver(const QByteArray& message);
    // Delivers every message-<n>.eml of an SMTP sink's folder, in order; the count.
    int deliverFolder(const QString& sinkFolder);

    // The messages in the INBOX's maildir, read or not.
    int messageCount() const;

    // Makes the mailbox a new one: its messages and indexes go, so the next session
    // sees a new UIDVALIDITY.
    void recreateMailbox();

private:
    QString maildir() const;
    void writeConfiguration();
    void handOver(const QString& path) const;

    QString m_folder;
    Options m_options;
    QProcess m_process;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    quint16 m_lmtpPort = 0;
    quint16 m_authPort = 0;
    int m_delivered = 0;
    QString m_error;
};
