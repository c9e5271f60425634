#pragma once

#include <QByteArray>

#include <atomic>
#include <thread>

// A server on 127.0.0.1 for the session fuzz targets: takes one connection, sends all
// of its bytes as the server's replies, ends its side and reads what the client says
// until the client closes. The replies are all there before the client asks, which a
// client that reads one reply after another cannot tell from a server that answers
// each command; the client's tags ("K1", "K2", ...) are known in advance.
class LoopbackPeer
{
public:
    explicit LoopbackPeer(const QByteArray& replies);
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    quint16 port() const { return m_port; }

private:
    void serve();

    QByteArray m_replies;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
