#include "transport/SaslBearer.h"

namespace SaslBearer {

std::optional<Mechanism> choose(const QStringList& offered)
{
    for (const QString& mechanism : offered) {
        if (mechanism.compare(QLatin1String("OAUTHBEARER"), Qt::CaseInsensitive) == 0)
            return Mechanism::OAuthBearer;
        if (mechanism.compare(QLatin1String("XOAUTH2"), Qt::CaseInsensitive) == 0)
            return Mechanism::XOAuth2;
    }
    return std::nullopt;
}

QByteArray name(Mechanism mechanism)
{
    return mechanism == Mechanism::OAuthBearer ? QByteArray("OAUTHBEARER") : QByteArray("XOAUTH2");
}

QByteArray initialResponse(Mechanism mechanism, const QString& user, const QString& token,
                           const QString& host, int port)
{
    const QByteArray bearer = "auth=Bearer " + token.toUtf8() + "\x01\x01";
    if (mechanism == Mechanism::XOAuth2)
        return ("user=" + user.toUtf8() + '\x01' + bearer).toBase64();
    // The GS2 header names the user; "," and "=" in it are escaped (RFC 5801).
    QByteArray name = user.toUtf8();
    name.replace("=", "=3D").replace(",", "=2C");
    return ("n,a=" + name + ",\x01host=" + host.toUtf8() + "\x01port=" + QByteArray::number(port) +
            '\x01' + bearer)
        .toBase64();
}

QByteArray refusalAcknowledgement(Mechanism mechanism)
{
    return mechanism == Mechanism::OAuthBearer ? QByteArray("AQ==") : QByteArray();
}

} // namespace SaslBearer
