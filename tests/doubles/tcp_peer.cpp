#include "tcp_peer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

TcpPeer::~TcpPeer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TcpPeer::Connect(quint16 port, bool overIpv6)
{
    if (overIpv6) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        address.sin6_addr = in6addr_loopback;
        m_fd = ::socket(AF_INET6, SOCK_STREAM, 0);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            return true;
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            return true;
    }
    ::close(m_fd);
    m_fd = -1;
    return false;
}

bool TcpPeer::Send(const QByteArray &data)
{
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(m_fd, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

void TcpPeer::HalfClose()
{
    ::shutdown(m_fd, SHUT_WR);
}

void TcpPeer::Reset()
{
    const linger abort{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(m_fd);
    m_fd = -1;
}

bool TcpPeer::Finished()
{
    char buffer[4096];
    while (!m_ended) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            received.append(buffer, n);
        } else if (n == 0) {
            m_ended = true;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else {
            wasReset = true;
            m_ended = true;
        }
    }
    return m_ended;
}

RecordingSocketLayer::RecordingSocketLayer(std::unique_ptr<SocketLayer> real) : m_real(std::move(real))
{
    connect(m_real.get(), &SocketLayer::ConnectionRequest, this, &SocketLayer::ConnectionRequest);
    connect(m_real.get(), &SocketLayer::SendComplete, this, &SocketLayer::SendComplete);
    connect(m_real.get(), &SocketLayer::SendFailed, this, &SocketLayer::SendFailed);
}

void RecordingSocketLayer::Record(const QString &call)
{
    calls << call;
    if (onCall)
        onCall(call);
}

void RecordingSocketLayer::Listen()
{
    Record(QStringLiteral("Listen"));
    m_real->Listen();
}

void RecordingSocketLayer::Close()
{
    Record(QStringLiteral("Close"));
    m_real->Close();
}

void RecordingSocketLayer::Accept(qint32 requestId)
{
    Record(QStringLiteral("Accept"));
    m_real->Accept(requestId);
}

void RecordingSocketLayer::SendData(const QByteArray &data)
{
    Record(QStringLiteral("SendData"));
    m_real->SendData(data);
}
