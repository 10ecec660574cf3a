#include "tcp_socket_layer.h"

#include "host_addresses.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// How long a reply may wait for the peer's acknowledgement before it counts
// as sent anyway: the system keeps retransmitting after we close.
constexpr int kDeliveryCheckMs = 5;
constexpr int kDeliveryChecksMax = 2000;
// Unread data left at close makes the system reset the connection; draining
// it first gives the peer an orderly end-of-stream. Bounded for floods.
constexpr qsizetype kDrainMax = 16 * 1024 * 1024;

void DrainAndClose(int fd)
{
    char sink[65536];
    qsizetype drained = 0;
    while (drained < kDrainMax) {
        const ssize_t n = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n <= 0)
            break;
        drained += n;
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

// Closes with a reset (no lingering): the peer reads a refusal, never the
// empty end of stream that stands for a cancelled request.
void Refuse(int fd)
{
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

PeerAddress PeerOf(int fd)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    return ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) == 0 ? PeerAddressOf(peer) : PeerAddress{};
}

// A reset that has already arrived, before anything was written.
bool WasReset(int fd)
{
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
}
} // namespace

class TcpSocketLayer::Server final : public QTcpServer {
public:
    explicit Server(TcpSocketLayer &layer) : m_layer(layer) {}

protected:
    // Keeps the bare descriptor: a QTcpSocket would read the peer's data and
    // close itself on the peer's end-of-stream.
    void incomingConnection(qintptr descriptor) override { m_layer.OnIncoming(int(descriptor)); }

private:
    TcpSocketLayer &m_layer;
};

TcpSocketLayer::TcpSocketLayer(uint16_t port, QObject *parent)
    : QObject(parent), m_server(std::make_unique<Server>(*this)), m_port(port)
{
    connect(&m_deliveryCheck, &QTimer::timeout, this, &TcpSocketLayer::CheckDelivered);
}

TcpSocketLayer::~TcpSocketLayer()
{
    Close();
    for (const auto &[id, fd] : m_waiting)
        ::close(fd);
}

void TcpSocketLayer::UseDispatcher(std::unique_ptr<DispatcherLink> link)
{
    m_dispatcher = std::move(link);
    connect(m_dispatcher.get(), &DispatcherLink::Connection, this, &TcpSocketLayer::OnIncoming);
}

void TcpSocketLayer::Listen()
{
    if (m_dispatcher) {
        m_free = true;
        m_dispatcher->Ready();
        return;
    }
    if (!m_server->listen(QHostAddress::Any, m_port))
        throw SocketError(m_server->errorString().toStdString());
    m_port = m_server->serverPort();
}

int TcpSocketLayer::State() const
{
    if (m_connection >= 0)
        return Connected;
    if (m_dispatcher)
        return m_free ? Listening : Closed;
    return m_server->isListening() ? Listening : Closed;
}

void TcpSocketLayer::Close()
{
    m_server->close();
    if (m_dispatcher && m_free) {
        m_free = false;
        m_dispatcher->Busy();
    }
    CloseConnection();
}

void TcpSocketLayer::CloseConnection()
{
    m_resetNotifier.reset();
    if (m_resetWatch >= 0)
        ::close(m_resetWatch);
    m_resetWatch = -1;
    m_deliveryCheck.stop();
    m_writable.reset();
    m_outgoing.clear();
    if (m_connection >= 0)
        DrainAndClose(m_connection);
    m_connection = -1;
}

void TcpSocketLayer::OnIncoming(int descriptor)
{
    // Handed over while not free: refused as a port nobody listens on is.
    if (m_dispatcher && (!m_free || m_connection >= 0 || !m_waiting.empty())) {
        const linger refuse{1, 0};
        ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &refuse, sizeof refuse);
        ::close(descriptor);
        return;
    }
    if (!m_allowed.Allows(PeerOf(descriptor))) {
        Refuse(descriptor);
        return;
    }
    // The system may have queued a second peer before the session closed the
    // listener; one request at a time, as if the port had refused it.
    if (!m_waiting.empty() || m_connection >= 0) {
        ::close(descriptor);
        return;
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    const int32_t id = ++m_lastRequestId;
    m_waiting.emplace(id, descriptor);
    if (m_events)
        m_events->wsk_connect_ConnectionRequest(id);
}

void TcpSocketLayer::Accept(int32_t requestId)
{
    const auto found = m_waiting.find(requestId);
    if (found == m_waiting.end())
        throw SocketError("no waiting connection with request id " + std::to_string(requestId));
    CloseConnection();
    m_connection = found->second;
    m_waiting.erase(found);
    ++m_connections;
    WatchForReset();
}

// A reset or error on the open connection ends the session at once; the
// peer's end-of-stream does not (a server that shut down its sending side is
// still waiting). An epoll set asked for no events reports only those two,
// and wakes a read notifier on it.
void TcpSocketLayer::WatchForReset()
{
    m_resetWatch = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event watched{};
    watched.events = 0;
    if (m_resetWatch < 0 || ::epoll_ctl(m_resetWatch, EPOLL_CTL_ADD, m_connection, &watched) != 0)
        return;
    m_resetNotifier = std::make_unique<QSocketNotifier>(m_resetWatch, QSocketNotifier::Read);
    connect(m_resetNotifier.get(), &QSocketNotifier::activated, this, &TcpSocketLayer::OnReset);
}

void TcpSocketLayer::OnReset()
{
    // Once is enough: the condition stays until the connection is closed.
    // Raised from the event loop, as the logic closes this very notifier; a
    // report that comes after its connection was closed is dropped.
    m_resetNotifier->setEnabled(false);
    QMetaObject::invokeMethod(
        this,
        [this, connection = m_connections] {
            if (connection == m_connections && m_connection >= 0 && m_events)
                m_events->wsk_connect_Error();
        },
        Qt::QueuedConnection);
}

void TcpSocketLayer::SendData(const std::string &bytes)
{
    if (m_connection < 0 || WasReset(m_connection)) {
        QMetaObject::invokeMethod(this, &TcpSocketLayer::Fail, Qt::QueuedConnection);
        return;
    }
    m_outgoing += QByteArrayView(bytes.data(), qsizetype(bytes.size()));
    Flush();
}

void TcpSocketLayer::Flush()
{
    while (!m_outgoing.isEmpty()) {
        const ssize_t n = ::send(m_connection, m_outgoing.constData(), size_t(m_outgoing.size()),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!m_writable) {
                m_writable = std::make_unique<QSocketNotifier>(m_connection, QSocketNotifier::Write);
                connect(m_writable.get(), &QSocketNotifier::activated, this, &TcpSocketLayer::Flush);
            }
            return;
        }
        if (n < 0) {
            QMetaObject::invokeMethod(this, &TcpSocketLayer::Fail, Qt::QueuedConnection);
            m_outgoing.clear();
            m_writable.reset();
            return;
        }
        m_outgoing.remove(0, n);
    }
    m_writable.reset();
    m_deliveryChecks = 0;
    m_deliveryCheck.start(0);
}

// The reply counts as sent once the peer has acknowledged every byte; a peer
// that has gone away answers with a reset instead.
void TcpSocketLayer::CheckDelivered()
{
    tcp_info info{};
    socklen_t length = sizeof info;
    int unacknowledged = 0;
    if (::getsockopt(m_connection, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 || info.tcpi_state == TCP_CLOSE) {
        Fail();
        return;
    }
    ::ioctl(m_connection, SIOCOUTQ, &unacknowledged);
    if (unacknowledged == 0 || ++m_deliveryChecks >= kDeliveryChecksMax) {
        m_deliveryCheck.stop();
        if (m_events)
            m_events->wsk_connect_SendComplete();
        return;
    }
    m_deliveryCheck.start(kDeliveryCheckMs);
}

void TcpSocketLayer::Fail()
{
    m_deliveryCheck.stop();
    if (m_events)
        m_events->wsk_connect_SendFailed();
}

uint16_t TcpSocketLayer::LocalPort() const
{
    return m_port;
}
