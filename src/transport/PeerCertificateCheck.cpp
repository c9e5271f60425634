#include "transport/PeerCertificateCheck.h"

#include "core/KestrelError.h"
#include "transport/SmtpProblemText.h"
#include "transport/UntrustedCertificateError.h"

#include <QSslConfiguration>
#include <QSslSocket>

#include <algorithm>

namespace {

// Whether the user may choose to trust a certificate with these faults: not when
// there is none, nor when it is known to be withdrawn or compromised.
bool userMayTrust(const QList<QSslError>& errors)
{
    return std::none_of(errors.cbegin(), errors.cend(), [](const QSslError& error) {
        return error.error() == QSslError::NoPeerCertificate ||
               error.error() == QSslError::CertificateRevoked ||
               error.error() == QSslError::CertificateBlacklisted;
    });
}

} // namespace

PeerCertificateCheck::~PeerCertificateCheck()
{
    // A socket may outlive its session (handed back to its own thread to be deleted).
    QObject::disconnect(m_watching);
}

void PeerCertificateCheck::watch(QSslSocket& socket)
{
    socket.setProtocol(QSsl::SecureProtocols);
    socket.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_watching = QObject::connect(
        &socket, &QSslSocket::sslErrors, &socket,
        [this, &socket](const QList<QSslError>& errors) { check(socket, errors); },
        Qt::DirectConnection);
}

void PeerCertificateCheck::addCaCertificates(QSslSocket& socket,
                                             const QList<QSslCertificate>& certificates)
{
    QSslConfiguration configuration = socket.sslConfiguration();
    configuration.addCaCertificates(certificates);
    socket.setSslConfiguration(configuration);
}

void PeerCertificateCheck::check(QSslSocket& socket, const QList<QSslError>& errors)
{
    QList<QSslCertificate> chain = socket.peerCertificateChain();
    if (chain.isEmpty() && !socket.peerCertificate().isNull())
        chain.append(socket.peerCertificate());
    if (!userMayTrust(errors))
        return;
    if (!m_trustedDigest.isEmpty() && !chain.isEmpty() &&
        chain.constFirst().digest(QCryptographicHash::Sha256) == m_trustedDigest) {
        socket.ignoreSslErrors();
        return;
    }
    m_refusedChain = chain;
}

void PeerCertificateCheck::failSecuring(const QSslSocket& socket, const QString& host, int port,
                                        int connectTimeoutMs, const QString& subject,
                                        const QString& server) const
{
    const QList<QSslError> problems = socket.sslHandshakeErrors();
    if (problems.isEmpty())
        throw KestrelError(socketProblemText(socket.error(), host, port, connectTimeoutMs));
    const QString message = QStringLiteral("%1 could not be made secure (%2): %3.")
                                .arg(subject, server, certificateProblemText(problems, host));
    if (!m_refusedChain.isEmpty())
        throw UntrustedCertificateError(message, host, port, m_refusedChain, problems,
                                        m_trustedDigest);
    throw KestrelError(message);
}
