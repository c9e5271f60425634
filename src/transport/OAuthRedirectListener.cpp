#include "transport/OAuthRedirectListener.h"

#include "core/KestrelError.h"

#include <QTcpSocket>

namespace {

// A request line and headers longer than this are no redirect of ours.
constexpr qsizetype MaxRequestBytes = 64 * 1024;

void reply(QTcpSocket* socket, const QByteArray& status, const QString& line)
{
    const QByteArray body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" +
                            line.toHtmlEscaped().toUtf8() + "</title></head><body><p>" +
                            line.toHtmlEscaped().toUtf8() + "</p></body></html>\n";
    socket->write("HTTP/1.1 " + status +
                  "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
                  "Connection: close\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\n\r\n" + body);
    // The listener may go right after the answer: the page must be on its way first.
    socket->flush();
    socket->disconnectFromHost();
}

} // namespace

OAuthRedirectListener::OAuthRedirectListener()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        throw KestrelError(
            QStringLiteral("The sign-in could not listen for the browser's answer on this "
                           "computer: %1")
                .arg(m_server.errorString()));
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            take(socket);
    });
}

OAuthRedirectListener::~OAuthRedirectListener()
{
    if (m_held)
        m_held->abort();
}

QUrl OAuthRedirectListener::redirectUri() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort()));
}

void OAuthRedirectListener::take(QTcpSocket* socket)
{
    socket->setParent(&m_server);
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
}

void OAuthRedirectListener::read(QTcpSocket* socket)
{
    if (socket == m_held || socket->property("answered").toBool())
        return;
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    if (!request.contains("\r\n\r\n")) {
        if (request.size() > MaxRequestBytes)
            socket->abort();
        else
            socket->setProperty("request", request);
        return;
    }
    socket->setProperty("answered", true);
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QUrl target = words.size() == 3 && words.at(0) == "GET"
                            ? QUrl::fromEncoded(words.at(1), QUrl::StrictMode)
                            : QUrl();
    const QUrlQuery query(target);
    const bool isRedirect =
        target.path() == QLatin1String("/") &&
        (query.hasQueryItem(QStringLiteral("code")) || query.hasQueryItem(QStringLiteral("error")));
    if (!isRedirect || m_hasRedirect) {
        reply(socket, "404 Not Found", QStringLiteral("Not found."));
        return;
    }
    m_held = socket;
    m_hasRedirect = true;
    m_redirect = query;
    if (m_onRedirect)
        m_onRedirect();
}

void OAuthRedirectListener::answer(const QString& line)
{
    if (!m_held)
        return;
    reply(m_held, "200 OK", line);
    m_held = nullptr;
}
