#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// Waits up to a short while for the socket; false when stopped or nothing came.
bool readable(int socket, const std::atomic<bool>& stop)
{
    while (!stop) {
        pollfd watch{socket, POLLIN, 0};
        const int ready = ::poll(&watch, 1, 10);
        if (ready > 0)
            return true;
        if (ready < 0)
            return false;
    }
    return false;
}

} // namespace

LoopbackPeer::LoopbackPeer(const QByteArray& replies) : m_replies(replies)
{
    m_replies.detach();
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, 1) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        std::abort();
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LoopbackPeer::~LoopbackPeer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

void LoopbackPeer::serve()
{
    if (!readable(m_listener, m_stop))
        return;
    const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0)
        return;
    qsizetype sent = 0;
    while (sent < m_replies.size()) {
        const ssize_t written = ::send(connection, m_replies.constData() + sent,
                                       static_cast<size_t>(m_replies.size() - sent), MSG_NOSIGNAL);
        if (written <= 0)
            break;
        sent += written;
    }
    ::shutdown(connection, SHUT_WR);
    // Closing with the client's words unread would reset the connection and could
    // throw away replies the client has not read yet.
    char discard[4096];
    while (readable(connection, m_stop) && ::recv(connection, discard, sizeof discard, 0) > 0) {
    }
    ::close(connection);
}
