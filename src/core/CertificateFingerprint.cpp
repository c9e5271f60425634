#include "core/CertificateFingerprint.h"

#include <QStringList>

#include <algorithm>

namespace {

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

} // namespace

QString CertificateFingerprint::text(const QByteArray& digest)
{
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

QString CertificateFingerprint::hex(const QByteArray& digest)
{
    return QString::fromLatin1(digest.toHex());
}

QByteArray CertificateFingerprint::parse(const QString& text)
{
    QString digits = text.trimmed();
    if (digits.contains(QLatin1Char(':'))) {
        // Pairs only: "A:BC:..." is a typing slip, not a fingerprint.
        const QStringList pairs = digits.split(QLatin1Char(':'));
        if (pairs.size() != DigestBytes)
            return {};
        for (const QString& pair : pairs) {
            if (pair.size() != 2)
                return {};
        }
        digits.remove(QLatin1Char(':'));
    }
    if (digits.size() != 2 * DigestBytes ||
        !std::all_of(digits.cbegin(), digits.cend(), isHexDigit))
        return {};
    return QByteArray::fromHex(digits.toLatin1());
}
