#pragma once

#include <QAbstractSocket>
#include <QString>

// How a mail session encrypts its connection, as the settings UserSMTPEncryption and
// UserIMAPEncryption store it.
enum class MailEncryption
{
    // TLS from the start on the protocol's TLS port (465, 993), else STARTTLS when
    // the server offers it.
    ByPort = 0,
    TlsFromStart = 1,
    // STARTTLS, and a server that does not offer it is refused.
    StartTls = 2,
    // None at all: only for a server on this computer.
    None = 3
};

// The stored number as a choice; a number out of range is ByPort.
MailEncryption mailEncryptionFromSetting(int stored);
// Whether the session speaks TLS from the first byte.
bool usesTlsFromStart(MailEncryption encryption, int port, int tlsPort);

// The lines that tell a user which setting fits the server. protocol is "SMTP" or
// "IMAP", server "host port n".
// A plain session that met a server speaking TLS from the start (it sent TLS, or
// nothing at all, or closed at once): the fault, then the setting to choose.
QString tlsServerMetWithoutTls(const QString& fault, const QString& protocol);
// A session with TLS from the start that met a plain server.
QString plainServerMetWithTls(const QString& fault, const QString& protocol);
// "None" for a server elsewhere than on this computer.
QString unencryptedRefused(const QString& server, const QString& protocol);
// STARTTLS chosen, and the server offers none.
QString startTlsNotOffered(const QString& server, const QString& protocol);
// No STARTTLS from a server elsewhere, with the encryption chosen by port.
QString noEncryptionOffered(const QString& server, const QString& protocol, int tlsPort);
// Whether bytes that came first are the start of a TLS record (a handshake or an
// alert of TLS 1.x), never a greeting.
bool looksLikeTls(const QByteArray& firstBytes);
