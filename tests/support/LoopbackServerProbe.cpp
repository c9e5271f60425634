#include "support/LoopbackServerProbe.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool waitForGreeting(quint16 port, const QByteArray& greeting,
                     const std::function<bool()>& stillStarting)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (stillStarting && !stillStarting())
            return false;
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200) && probe.waitForReadyRead(5000) &&
            probe.readLine().startsWith(greeting))
            return true;
        QThread::msleep(50);
    }
    return false;
}
