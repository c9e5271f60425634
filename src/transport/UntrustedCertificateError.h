#pragma once

#include "core/KestrelError.h"

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>

// A connection that failed only because the server showed a certificate this
// computer does not trust (and the user has not trusted for that server). It carries
// what a person needs to decide whether to trust it, so the thread that can ask
// (the window's) asks, while the session that met it ran on another.
class UntrustedCertificateError : public KestrelError
{
public:
    UntrustedCertificateError(QString message, QString host, int port, QList<QSslCertificate> chain,
                              QList<QSslError> errors, QByteArray trustedBefore)
        : KestrelError(std::move(message)), m_host(std::move(host)), m_port(port),
          m_chain(std::move(chain)), m_errors(std::move(errors)),
          m_trustedBefore(std::move(trustedBefore))
    {}

    const QString& host() const { return m_host; }
    int port() const { return m_port; }
    // The server's certificate first, then the ones it says signed it.
    const QList<QSslCertificate>& chain() const { return m_chain; }
    const QSslCertificate& certificate() const { return m_chain.constFirst(); }
    QByteArray digest() const { return certificate().digest(QCryptographicHash::Sha256); }
    const QList<QSslError>& errors() const { return m_errors; }
    // The SHA-256 digest the user trusted for this server before; empty when none,
    // otherwise the server's certificate has changed since.
    const QByteArray& trustedBefore() const { return m_trustedBefore; }

private:
    QString m_host;
    int m_port;
    QList<QSslCertificate> m_chain;
    QList<QSslError> m_errors;
    QByteArray m_trustedBefore;
};
