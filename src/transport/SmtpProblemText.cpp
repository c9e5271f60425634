#include "transport/SmtpProblemText.h"

QString smtpServerText(const QString& host, int port)
{
    return QStringLiteral("%1 port %2").arg(host).arg(port);
}

QString secondsText(int milliseconds)
{
    const int seconds = (milliseconds + 999) / 1000;
    return seconds == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds);
}

QString socketProblemText(QAbstractSocket::SocketError error, const QString& host, int port,
                          int timeoutMs)
{
    const QString server = smtpServerText(host, port);
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("The server refused the connection (%1).").arg(server);
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("The server name %1 could not be found.").arg(host);
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("The server closed the connection (%1).").arg(server);
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("No answer from the server within %1 (%2).")
            .arg(secondsText(timeoutMs), server);
    case QAbstractSocket::NetworkError:
        return QStringLiteral("The network does not reach the server (%1).").arg(server);
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("This computer does not allow a connection to the server (%1).")
            .arg(server);
    case QAbstractSocket::SocketResourceError:
        return QStringLiteral("This computer has no room for another connection (%1).").arg(server);
    case QAbstractSocket::ProxyConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionClosedError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
    case QAbstractSocket::ProxyNotFoundError:
    case QAbstractSocket::ProxyProtocolError:
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return QStringLiteral("The network proxy did not let the connection through (%1).")
            .arg(server);
    case QAbstractSocket::SslHandshakeFailedError:
        return QStringLiteral("The server and this computer could not agree on a secure "
                              "connection (%1).")
            .arg(server);
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return QStringLiteral("This computer could not set up a secure connection (%1).")
            .arg(server);
    default:
        return QStringLiteral("The connection to the server was lost (%1).").arg(server);
    }
}

QString certificateProblemText(const QList<QSslError>& errors, const QString& host)
{
    for (const QSslError& error : errors) {
        switch (error.error()) {
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
        case QSslError::CertificateRejected:
        case QSslError::InvalidCaCertificate:
            return QStringLiteral("the server's certificate is not from an authority this "
                                  "computer trusts");
        case QSslError::CertificateExpired:
            return QStringLiteral("the server's certificate has expired");
        case QSslError::CertificateNotYetValid:
            return QStringLiteral("the server's certificate is not valid yet");
        case QSslError::HostNameMismatch:
            return QStringLiteral("the server's certificate is made out to another name than %1")
                .arg(host);
        case QSslError::CertificateRevoked:
            return QStringLiteral("the server's certificate has been withdrawn");
        case QSslError::NoPeerCertificate:
            return QStringLiteral("the server showed no certificate");
        default:
            break;
        }
    }
    return QStringLiteral("the server's certificate could not be checked");
}
