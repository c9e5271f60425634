#pragma once

#include <QByteArray>
#include <QStringList>

#include <functional>
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

// What a session needs to log in with a token: the mechanism, the first message, and
// the forms of the token that error texts must mask.
struct Opening
{
    Mechanism mechanism;
    QByteArray response;
    QStringList secretForms;
};
// Chooses among the offered mechanisms and only then asks for the token. Throws
// KestrelError naming the server (protocol "SMTP" or "IMAP", server as its sessions
// name it) when it offers neither mechanism, or the token source's error.
Opening open(const QStringList& offered, const QString& protocol, const QString& server,
             const std::function<QString()>& token, const QString& user, const QString& host,
             int port);

} // namespace SaslBearer
