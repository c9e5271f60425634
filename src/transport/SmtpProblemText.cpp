#include "transport/SmtpProblemText.h"

#include "core/QuayRegistryObject.h"
#include "transport/AccessToken.h"
#include "transport/CertificateDescription.h"
#include "transport/OAuthTokenEndpoint.h"

#include <QStringList>

#include <algorithm>

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

QString logInAdvice()
{
    return QStringLiteral("Please check the SMTP server user name and password.");
}

QString accessTokenAdvice()
{
    if (mailAuthMethodFromSetting(TQuayRegistryObject().ReadSMTPAuthMethod()) ==
        MailAuthMethod::OAuth2)
        return QStringLiteral("The server refused the access token of the program's sign-in: "
                              "check that the account may send mail with OAuth2. %1")
            .arg(signInAgainText(MailServerSide::Smtp));
    return QStringLiteral("The server refused the access token: check that the SMTP token "
                          "command prints a fresh token for this account, and sign in again "
                          "with the tool that makes it if the account's sign-in has lapsed.");
}

QString appPasswordAdvice()
{
    return QStringLiteral("The mail provider wants an app password: make one in the account's "
                          "security settings and enter it as the SMTP server user password.");
}

namespace {

// "a", "a and b", "a, b and c".
QString listText(const QStringList& items)
{
    if (items.size() < 2)
        return items.join(QString());
    return items.mid(0, items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
           items.constLast();
}

QString certificateReason(const QSslError& error, const QString& host)
{
    switch (error.error()) {
    case QSslError::SelfSignedCertificate:
        return QStringLiteral("the certificate is signed by itself");
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateRejected:
    case QSslError::InvalidCaCertificate:
        return QStringLiteral("the certificate is not from an authority this computer trusts");
    case QSslError::CertificateExpired:
        return QStringLiteral("the certificate has expired");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("the certificate is not valid yet");
    case QSslError::HostNameMismatch: {
        const QStringList names = CertificateDescription::names(error.certificate());
        if (names.isEmpty())
            return QStringLiteral("the certificate names no server, not %1").arg(host);
        return QStringLiteral("the certificate is for %1, not %2").arg(listText(names), host);
    }
    case QSslError::CertificateRevoked:
        return QStringLiteral("the certificate has been withdrawn");
    case QSslError::CertificateBlacklisted:
        return QStringLiteral("the certificate is one this computer never trusts");
    case QSslError::NoPeerCertificate:
        return QStringLiteral("the server showed no certificate");
    default:
        return QString();
    }
}

// Reasons are told in one order whatever order the TLS library found them in: who
// signed the certificate, when it is valid, whom it is for, the rest.
int reasonRank(QSslError::SslError error)
{
    switch (error) {
    case QSslError::CertificateExpired:
    case QSslError::CertificateNotYetValid:
        return 1;
    case QSslError::HostNameMismatch:
        return 2;
    case QSslError::CertificateRevoked:
    case QSslError::CertificateBlacklisted:
    case QSslError::NoPeerCertificate:
        return 3;
    default:
        return 0;
    }
}

} // namespace

QString certificateProblemText(const QList<QSslError>& errors, const QString& host)
{
    QList<QSslError> ordered = errors;
    std::stable_sort(ordered.begin(), ordered.end(), [](const QSslError& a, const QSslError& b) {
        return reasonRank(a.error()) < reasonRank(b.error());
    });
    QStringList reasons;
    for (const QSslError& error : ordered) {
        const QString reason = certificateReason(error, host);
        if (!reason.isEmpty() && !reasons.contains(reason))
            reasons << reason;
    }
    if (reasons.isEmpty())
        return QStringLiteral("the server's certificate could not be checked");
    return reasons.join(QStringLiteral("; "));
}
