#pragma once

#include <QSslCertificate>
#include <QString>
#include <QStringList>

// A certificate in the words a user weighs before trusting it: who it names, who
// signed it, when it is valid and its fingerprint.
class CertificateDescription
{
public:
    // "Subject: CN=..., O=...", "Issuer: ...", "Valid from ... to ...", "SHA-256
    // fingerprint: AB:CD:...", one a line.
    static QString details(const QSslCertificate& certificate);
    // "CN=mail.example.org, O=Example": the name's usual parts, most specific first.
    static QString subject(const QSslCertificate& certificate);
    static QString issuer(const QSslCertificate& certificate);
    // The host names and addresses the certificate is made out to: its alternative
    // names, or its common name when it has none (RFC 6125 section 6.4.4).
    static QStringList names(const QSslCertificate& certificate);
};
