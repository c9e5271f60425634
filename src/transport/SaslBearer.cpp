#include "transport/SaslBearer.h"

#include "core/KestrelError.h"

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

Opening open(const QStringList& offered, const QString& protocol, const QString& server,
             const std::function<QString()>& token, const QString& user, const QString& host,
             int port)
{
    const std::optional<Mechanism> mechanism = choose(offered);
    if (!mechanism)
        throw KestrelError(QStringLiteral("The %1 server %2 offers no log-in with an access token "
                                          "(OAUTHBEARER or XOAUTH2).")
                               .arg(protocol, server));
    const QString given = token();
    const QByteArray response = initialResponse(*mechanism, user, given, host, port);
    return {*mechanism, response, {given, QString::fromLatin1(response)}};
}

QByteArray refusalAcknowledgement(Mechanism mechanism)
{
    return mechanism == Mechanism::OAuthBearer ? QByteArray("AQ==") : QByteArray();
}

} // namespace SaslBearer
