#pragma once

#include "support/ScriptProcess.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>

// Runs tests/scripts/oauth2_server.py: a scripted OAuth2 authorization server on
// 127.0.0.1 (authorization code with PKCE, device code, refresh with rotation,
// introspection), its faults set by options at start and by control() later.
class ScriptedOAuthServer
{
public:
    static constexpr const char* ClientId = "kestrel-test";

    // scriptsFolder holds oauth2_server.py; options are the script's own.
    explicit ScriptedOAuthServer(const QString& scriptsFolder,
                                 const QStringList& options = QStringList());
    ScriptedOAuthServer(const ScriptedOAuthServer&) = delete;
    ScriptedOAuthServer& operator=(const ScriptedOAuthServer&) = delete;

    // 0 when the server did not start; errorText() says why.
    quint16 port() const { return m_server.port(); }
    QString errorText() const { return m_server.errorText(); }
    QUrl url(const QString& path) const;

    // Changes faults ({"revoke_all": true}, {"access_lifetime": 2}, ...) and answers
    // how many tokens each grant issued; counts() only answers.
    QJsonObject control(const QJsonObject& changes);
    QJsonObject counts();

    // Stores this server as the OAuth2 client of the SMTP (or IMAP) side: provider 0,
    // its endpoints and client ID.
    void storeAsClient(bool imap = false) const;

private:
    QJsonObject request(const QByteArray& body);

    ScriptProcess m_server;
};
