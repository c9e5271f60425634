#include "transport/ServerCertificateTrust.h"

#include "core/CertificateFingerprint.h"
#include "core/QuayRegistryObject.h"

QString ServerCertificateTrust::entry(const QString& host, int port, const QByteArray& digest)
{
    return QStringLiteral("%1:%2 %3").arg(host).arg(port).arg(CertificateFingerprint::hex(digest));
}

QByteArray ServerCertificateTrust::trustedFor(const QString& host, int port, TrustedServer server)
{
    const TQuayRegistryObject store;
    const QString stored = (server == TrustedServer::Imap ? store.ReadTrustedIMAPServerCertificate()
                                                          : store.ReadTrustedServerCertificate())
                               .trimmed();
    // The fingerprint follows the last blank and the port the last ":", so a host
    // given as an IPv6 address, which holds ":" itself, is read whole.
    const qsizetype blank = stored.lastIndexOf(QLatin1Char(' '));
    if (blank < 0)
        return {};
    const QString storedServer = stored.left(blank);
    const qsizetype colon = storedServer.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return {};
    bool portOk = false;
    const int storedPort = storedServer.mid(colon + 1).toInt(&portOk);
    if (!portOk || storedPort != port ||
        storedServer.left(colon).compare(host.trimmed(), Qt::CaseInsensitive) != 0)
        return {};
    return CertificateFingerprint::parse(stored.mid(blank + 1));
}

void ServerCertificateTrust::trust(const QString& host, int port, const QByteArray& digest,
                                   TrustedServer server)
{
    const TQuayRegistryObject store;
    const QString value = entry(host.trimmed(), port, digest);
    if (server == TrustedServer::Imap)
        store.WriteTrustedIMAPServerCertificate(value);
    else
        store.WriteTrustedServerCertificate(value);
}
