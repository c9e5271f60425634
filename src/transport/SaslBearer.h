#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

// The SASL mechanisms that log in with an OAuth2 access token instead of a password:
// OAUTHBEARER (RFC 7628) and XOAUTH2, the older form the large providers still offer.
namespace SaslBearer {

enum class Mechanism
{
    OAuthBearer,
    XOAuth2
};

// The first of the two among the mechanisms the server names, in the server's order;
// none when it offers neither.
std::optional<Mechanism> choose(const QStringList& offered);
QByteArray name(Mechanism mechanism);
// The client's first message, in base64.
QByteArray initialResponse(Mechanism mechanism, const QString& user, const QString& token,
                           const QString& host, int port);
// What the client answers when the server refuses the token with a challenge that
// carries its error: the exchange must end before the server says no.
QByteArray refusalAcknowledgement(Mechanism mechanism);

} // namespace SaslBearer
