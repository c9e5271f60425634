#include "support/ScriptedOAuthServer.h"

#include "core/QuayRegistryObject.h"

#include <QDir>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

ScriptedOAuthServer::ScriptedOAuthServer(const QString& scriptsFolder, const QStringList& options)
    : m_server(QDir(scriptsFolder).filePath(QStringLiteral("oauth2_server.py")), options,
               QStringLiteral("the OAuth2 server"))
{}

QUrl ScriptedOAuthServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

QJsonObject ScriptedOAuthServer::request(const QByteArray& body)
{
    QNetworkAccessManager network;
    QNetworkRequest request(url(QStringLiteral("/control")));
    request.setTransferTimeout(30000);
    QNetworkReply* reply;
    if (body.isNull()) {
        reply = network.get(request);
    } else {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        reply = network.post(request, body);
    }
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    delete reply;
    return answer;
}

QJsonObject ScriptedOAuthServer::control(const QJsonObject& changes)
{
    return request(QJsonDocument(changes).toJson(QJsonDocument::Compact));
}

QJsonObject ScriptedOAuthServer::counts()
{
    return request(QByteArray());
}

void ScriptedOAuthServer::storeAsClient(bool imap) const
{
    const TQuayRegistryObject store;
    const QString client = QString::fromLatin1(ClientId);
    if (imap) {
        store.WriteIMAPOAuthProvider(0);
        store.WriteIMAPOAuthClientId(client);
        store.WriteIMAPOAuthAuthorizationEndpoint(url(QStringLiteral("/authorize")).toString());
        store.WriteIMAPOAuthTokenEndpoint(url(QStringLiteral("/token")).toString());
        store.WriteIMAPOAuthDeviceEndpoint(url(QStringLiteral("/device")).toString());
        store.WriteIMAPOAuthScopes(QStringLiteral("mail offline_access"));
        return;
    }
    store.WriteSMTPOAuthProvider(0);
    store.WriteSMTPOAuthClientId(client);
    store.WriteSMTPOAuthAuthorizationEndpoint(url(QStringLiteral("/authorize")).toString());
    store.WriteSMTPOAuthTokenEndpoint(url(QStringLiteral("/token")).toString());
    store.WriteSMTPOAuthDeviceEndpoint(url(QStringLiteral("/device")).toString());
    store.WriteSMTPOAuthScopes(QStringLiteral("mail offline_access"));
}
