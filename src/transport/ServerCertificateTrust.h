#pragma once

#include <QByteArray>
#include <QString>

// The servers that each have a trusted certificate of their own.
enum class TrustedServer
{
    // The server the save notes are mailed through (setting TrustedServerCertificate).
    Smtp,
    // The server of the mailbox that restores read (TrustedIMAPServerCertificate).
    Imap
};

// The certificate the user chose to trust for the SMTP (or the IMAP) server although
// the system does not. The value binds one fingerprint to one server as
// "host:port sha256hex", for example "mail.example.org:587 3f2a...": it holds for
// that host name (compared without regard to case, as DNS names are) on that port,
// and for no other server. One edition mails through one server and reads one
// mailbox, so trusting another certificate replaces the one trusted before for that
// kind of server.
class ServerCertificateTrust
{
public:
    // The SHA-256 digest trusted for the server; empty when none is.
    static QByteArray trustedFor(const QString& host, int port,
                                 TrustedServer server = TrustedServer::Smtp);
    // Trusts the certificate with this SHA-256 digest for the server. Throws
    // SettingsError when the setting cannot be written.
    static void trust(const QString& host, int port, const QByteArray& digest,
                      TrustedServer server = TrustedServer::Smtp);

    // The stored form of a trust.
    static QString entry(const QString& host, int port, const QByteArray& digest);
};
