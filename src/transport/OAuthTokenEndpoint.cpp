#include "transport/OAuthTokenEndpoint.h"

#include "core/EditionProfile.h"
#include "core/KestrelError.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

QString OAuthTokenEndpoint::Answer::error() const
{
    const QString code = body.value(QStringLiteral("error")).toString();
    if (!code.isEmpty())
        return code;
    return httpStatus >= 400 ? QStringLiteral("http_%1").arg(httpStatus) : QString();
}

QString OAuthTokenEndpoint::Answer::errorText() const
{
    const QString description =
        body.value(QStringLiteral("error_description")).toString().section(QLatin1Char('\n'), 0, 0);
    const QString code = error();
    return description.trimmed().isEmpty()
               ? code
               : QStringLiteral("%1: %2").arg(code, description.trimmed());
}

namespace {

// application/x-www-form-urlencoded: every byte but the unreserved ones escaped, so a
// "+" in a token is not read as a space.
QByteArray formBody(const QUrlQuery& form)
{
    QByteArray body;
    const auto items = form.queryItems(QUrl::FullyDecoded);
    for (const auto& [name, value] : items) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

} // namespace

OAuthTokenEndpoint::Answer OAuthTokenEndpoint::post(const QUrl& endpoint, QUrlQuery form) const
{
    form.addQueryItem(QStringLiteral("client_id"), m_client.clientId);
    if (!m_client.clientSecret.isEmpty())
        form.addQueryItem(QStringLiteral("client_secret"), m_client.clientSecret);
    QNetworkRequest request(endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(TransferTimeoutMs);
    QNetworkAccessManager network;
    QNetworkReply* reply = network.post(request, formBody(form));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    reply->deleteLater();

    Answer answer;
    answer.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray data = reply->readAll();
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (document.isObject()) {
        answer.body = document.object();
        return answer;
    }
    const QString host = endpoint.host();
    if (reply->error() != QNetworkReply::NoError && answer.httpStatus == 0)
        throw KestrelError(QStringLiteral("The sign-in server %1 could not be reached: %2")
                               .arg(host, reply->errorString()));
    throw KestrelError(QStringLiteral("The sign-in server %1 gave no readable answer (HTTP "
                                      "status %2).")
                           .arg(host)
                           .arg(answer.httpStatus));
}

OAuthTokens OAuthTokenEndpoint::tokensFrom(const Answer& answer, MailServerSide side)
{
    const QString accessToken = answer.body.value(QStringLiteral("access_token")).toString();
    if (!answer.error().isEmpty() || accessToken.isEmpty())
        throw KestrelError(QStringLiteral("The sign-in for the %1 server was refused (%2).")
                               .arg(sideName(side), answer.error().isEmpty()
                                                        ? QStringLiteral("no access token")
                                                        : answer.errorText()));
    OAuthTokens tokens;
    tokens.accessToken = accessToken;
    tokens.refreshToken = answer.body.value(QStringLiteral("refresh_token")).toString();
    // Some providers send the lifetime as a string.
    const QJsonValue expires = answer.body.value(QStringLiteral("expires_in"));
    tokens.expiresInSeconds =
        expires.isString() ? expires.toString().toLongLong() : qint64(expires.toDouble());
    return tokens;
}

OAuthTokens OAuthTokenEndpoint::refresh(const QString& refreshToken, MailServerSide side) const
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("refresh_token"));
    form.addQueryItem(QStringLiteral("refresh_token"), refreshToken);
    if (!m_client.scopes.isEmpty())
        form.addQueryItem(QStringLiteral("scope"), m_client.scopes);
    const Answer answer = post(m_client.tokenEndpoint, form);
    if (answer.error() == QLatin1String("invalid_grant"))
        throw KestrelError(QStringLiteral("The sign-in for the %1 server has lapsed or was "
                                          "withdrawn (%2). %3")
                               .arg(sideName(side), answer.errorText(), signInAgainText(side)));
    if (!answer.error().isEmpty())
        throw KestrelError(QStringLiteral("The sign-in server refused to renew the access token "
                                          "for the %1 server (%2). %3")
                               .arg(sideName(side), answer.errorText(), signInAgainText(side)));
    return tokensFrom(answer, side);
}

QString signInCommand(MailServerSide side)
{
    return QStringLiteral("%1 --sign-in %2")
        .arg(currentProfile().name.toLower(), sideName(side).toLower());
}

QString signInAgainText(MailServerSide side)
{
    return QStringLiteral("Sign in again: run \"%1\", or sign in from the settings window.")
        .arg(signInCommand(side));
}
