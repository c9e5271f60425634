#pragma once

#include <QByteArray>
#include <QString>

// The certificate the user chose to trust for the SMTP server although the system
// does not (setting TrustedServerCertificate). The value binds one fingerprint to
// one server as "host:port sha256hex", for example
// "mail.example.org:587 3f2a...": it holds for that host name (compared without
// regard to case, as DNS names are) on that port, and for no other server. One
// edition mails through one server, so trusting another certificate replaces it.
class ServerCertificateTrust
{
public:
    // The SHA-256 digest trusted for the server; empty when none is.
    static QByteArray trustedFor(const QString& host, int port);
    // Trusts the certificate with this SHA-256 digest for the server. Throws
    // SettingsError when the setting cannot be written.
    static void trust(const QString& host, int port, const QByteArray& digest);

    // The stored form of a trust.
    static QString entry(const QString& host, int port, const QByteArray& digest);
};
