#include "transport/CertificateDescription.h"

#include "core/CertificateFingerprint.h"
#include "core/DateTimeText.h"

#include <QMultiMap>

namespace {

struct NamePart
{
    QSslCertificate::SubjectInfo info;
    const char* label;
};

constexpr NamePart NameParts[] = {
    {QSslCertificate::CommonName, "CN"},          {QSslCertificate::OrganizationalUnitName, "OU"},
    {QSslCertificate::Organization, "O"},         {QSslCertificate::LocalityName, "L"},
    {QSslCertificate::StateOrProvinceName, "ST"}, {QSslCertificate::CountryName, "C"},
};

template <typename Values> QString distinguishedName(Values values)
{
    QStringList parts;
    for (const NamePart& part : NameParts) {
        for (const QString& value : values(part.info))
            parts << QLatin1String(part.label) + QLatin1Char('=') + value;
    }
    return parts.isEmpty() ? QStringLiteral("(no name)") : parts.join(QStringLiteral(", "));
}

} // namespace

QString CertificateDescription::subject(const QSslCertificate& certificate)
{
    return distinguishedName([&certificate](QSslCertificate::SubjectInfo info) {
        return certificate.subjectInfo(info);
    });
}

QString CertificateDescription::issuer(const QSslCertificate& certificate)
{
    return distinguishedName(
        [&certificate](QSslCertificate::SubjectInfo info) { return certificate.issuerInfo(info); });
}

QStringList CertificateDescription::names(const QSslCertificate& certificate)
{
    const QMultiMap<QSsl::AlternativeNameEntryType, QString> alternatives =
        certificate.subjectAlternativeNames();
    QStringList result;
    for (auto it = alternatives.cbegin(); it != alternatives.cend(); ++it) {
        if (it.key() == QSsl::DnsEntry || it.key() == QSsl::IpAddressEntry)
            result << it.value();
    }
    if (result.isEmpty())
        result = certificate.subjectInfo(QSslCertificate::CommonName);
    return result;
}

QString CertificateDescription::details(const QSslCertificate& certificate)
{
    return QStringLiteral("Subject: %1\nIssuer: %2\nValid from %3 to %4\nSHA-256 fingerprint: %5")
        .arg(subject(certificate), issuer(certificate),
             dateTimeText(certificate.effectiveDate().toLocalTime()),
             dateTimeText(certificate.expiryDate().toLocalTime()),
             CertificateFingerprint::text(certificate.digest(QCryptographicHash::Sha256)));
}
