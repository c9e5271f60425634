#pragma once

#include <QAbstractSocket>
#include <QList>
#include <QSslError>
#include <QString>

// What went wrong between this computer and an SMTP server, in words a user
// understands. These texts are the line under the sequence's own failure line
// ("Could not establish connection with SMTP server." and the like), so they never
// carry the socket library's error texts or numbers.

// "127.0.0.1 port 2525".
QString smtpServerText(const QString& host, int port);
// "1 second", "300 seconds".
QString secondsText(int milliseconds);
// Why the connection could not be opened or broke off; timeoutMs is the wait that
// ran out when the error is a time-out.
QString socketProblemText(QAbstractSocket::SocketError error, const QString& host, int port,
                          int timeoutMs);
// Why the server's certificate was not accepted: every reason that has words, once,
// separated by "; ", for example "the certificate is signed by itself; the
// certificate is for other.example, not smtp.example".
QString certificateProblemText(const QList<QSslError>& errors, const QString& host);

// What the user can do when the server refused the log-in: the user name or password
// is wrong, or the provider wants an app password instead of the account's own.
QString logInAdvice();
QString appPasswordAdvice();
// The server refused the access token that the token command printed, or that the
// program's own OAuth2 sign-in got (as SMTPAuthMethod says).
QString accessTokenAdvice();
