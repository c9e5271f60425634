#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

class QSslSocket;

// The certificate rules the mail sessions share. A certificate the system does not
// trust is let through only when it is the one the user trusts for the server (its
// SHA-256 digest); otherwise its chain is kept, so that a failed handshake can become
// an UntrustedCertificateError and the user can be asked. A certificate with no chain,
// or one known to be withdrawn or compromised, is never offered.
class PeerCertificateCheck
{
public:
    PeerCertificateCheck() = default;
    ~PeerCertificateCheck();
    PeerCertificateCheck(const PeerCertificateCheck&) = delete;
    PeerCertificateCheck& operator=(const PeerCertificateCheck&) = delete;

    // Makes the socket verify its peer and watches its handshakes. The socket reports
    // certificate faults on its own thread, during the handshake; only there can a
    // trusted certificate be let through.
    void watch(QSslSocket& socket);
    static void addCaCertificates(QSslSocket& socket, const QList<QSslCertificate>& certificates);

    void setTrustedDigest(const QByteArray& sha256Digest) { m_trustedDigest = sha256Digest; }
    // Forgets the chain of an earlier handshake, before a new connection.
    void reset() { m_refusedChain.clear(); }

    // Throws for the socket's failed handshake: "<subject> could not be made secure
    // (<server>): <problems>.", as an UntrustedCertificateError when the user may
    // choose to trust the certificate, or the socket's own fault when there was no
    // certificate problem.
    [[noreturn]] void failSecuring(const QSslSocket& socket, const QString& host, int port,
                                   int connectTimeoutMs, const QString& subject,
                                   const QString& server) const;

private:
    void check(QSslSocket& socket, const QList<QSslError>& errors);

    QByteArray m_trustedDigest;
    // The certificates the server showed in a handshake that failed.
    QList<QSslCertificate> m_refusedChain;
    QMetaObject::Connection m_watching;
};
