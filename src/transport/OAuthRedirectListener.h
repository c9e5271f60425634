#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include <functional>

// Where the browser sign-in comes back: a listener on 127.0.0.1 at a port the system
// chose, taking the one redirect that carries a code or an error. The browser waits
// for its page until answer() is called, so it can tell whether the sign-in worked.
// Other requests (the browser's icon) get "not found".
class OAuthRedirectListener
{
public:
    // Listens at once; throws KestrelError when it cannot.
    OAuthRedirectListener();
    ~OAuthRedirectListener();
    OAuthRedirectListener(const OAuthRedirectListener&) = delete;
    OAuthRedirectListener& operator=(const OAuthRedirectListener&) = delete;

    // "http://127.0.0.1:<port>/"
    QUrl redirectUri() const;
    // Called once, when the redirect came.
    void setOnRedirect(std::function<void()> onRedirect) { m_onRedirect = std::move(onRedirect); }
    bool hasRedirect() const { return m_hasRedirect; }
    // The redirect's query: code and state, or error.
    const QUrlQuery& redirect() const { return m_redirect; }
    // The page the browser shows: one line of text.
    void answer(const QString& line);

private:
    void take(QTcpSocket* socket);
    void read(QTcpSocket* socket);

    QTcpServer m_server;
    QPointer<QTcpSocket> m_held;
    bool m_hasRedirect = false;
    QUrlQuery m_redirect;
    std::function<void()> m_onRedirect;
};
