#include "transport/MailEncryption.h"

MailEncryption mailEncryptionFromSetting(int stored)
{
    switch (stored) {
    case int(MailEncryption::TlsFromStart):
        return MailEncryption::TlsFromStart;
    case int(MailEncryption::StartTls):
        return MailEncryption::StartTls;
    case int(MailEncryption::None):
        return MailEncryption::None;
    default:
        return MailEncryption::ByPort;
    }
}

bool usesTlsFromStart(MailEncryption encryption, int port, int tlsPort)
{
    return encryption == MailEncryption::TlsFromStart ||
           (encryption == MailEncryption::ByPort && port == tlsPort);
}

QString tlsServerMetWithoutTls(const QString& fault, const QString& protocol)
{
    return QStringLiteral("%1 If the server speaks TLS from the start, choose \"TLS from the "
                          "start\" as the %2 encryption.")
        .arg(fault, protocol);
}

QString plainServerMetWithTls(const QString& fault, const QString& protocol)
{
    return QStringLiteral("%1 If the server does not speak TLS from the start, choose "
                          "\"STARTTLS\" as the %2 encryption.")
        .arg(fault, protocol);
}

QString unencryptedRefused(const QString& server, const QString& protocol)
{
    return QStringLiteral("The %1 encryption \"None\" is only for a server on this computer, "
                          "and %2 is not: choose \"TLS from the start\" or \"STARTTLS\".")
        .arg(protocol, server);
}

QString startTlsNotOffered(const QString& server, const QString& protocol)
{
    return QStringLiteral("The server %1 offers no STARTTLS, which the %2 encryption "
                          "\"STARTTLS\" requires.")
        .arg(server, protocol);
}

QString noEncryptionOffered(const QString& server, const QString& protocol, int tlsPort)
{
    return QStringLiteral("The server %1 offers no STARTTLS, and nothing is sent unencrypted to "
                          "a server elsewhere than on this computer: if the server speaks TLS "
                          "from the start (usually on port %2), choose \"TLS from the start\" as "
                          "the %3 encryption.")
        .arg(server)
        .arg(tlsPort)
        .arg(protocol);
}

bool looksLikeTls(const QByteArray& firstBytes)
{
    return firstBytes.size() >= 2 && (firstBytes[0] == '\x16' || firstBytes[0] == '\x15') &&
           firstBytes[1] == '\x03';
}
