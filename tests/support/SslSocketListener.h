#pragma once

#include <QSslSocket>
#include <QTcpServer>

// A listener for the scripted servers that hands out QSslSocket connections, so that
// any of them can switch to TLS.
class SslSocketListener : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QSslSocket(this);
        if (socket->setSocketDescriptor(descriptor))
            addPendingConnection(socket);
        else
            delete socket;
    }
};
