#include "winsock_socket.h"

#include "host_addresses.h"

#include <string>

namespace {
constexpr UINT kListenerMessage = WM_APP + 1;
constexpr UINT kConnectionMessage = WM_APP + 2;
constexpr UINT kReplyDone = WM_APP + 3;
constexpr UINT_PTR kDeliveryTimer = 1;
// Unread data left at closing makes the system reset the connection; draining
// it first gives the peer an orderly end-of-stream. Bounded for floods.
constexpr size_t kDrainMax = 16 * 1024 * 1024;

// Windows 10 1703's SIO_TCP_INFO, version 0; not in every mingw-w64's headers.
constexpr DWORD kSioTcpInfo = _WSAIORW(IOC_VENDOR, 39);
struct TcpInfoV0 {
    int State; // 0: closed
    ULONG Mss;
    ULONG64 ConnectionTimeMs;
    BOOLEAN TimestampsEnabled;
    ULONG RttUs;
    ULONG MinRttUs;
    ULONG BytesInFlight;
    ULONG Cwnd;
    ULONG SndWnd;
    ULONG RcvWnd;
    ULONG RcvBuf;
    ULONG64 BytesOut;
    ULONG64 BytesIn;
    ULONG BytesReordered;
    ULONG BytesRetrans;
    ULONG FastRetrans;
    ULONG DupAcksIn;
    ULONG TimeoutEpisodes;
    UCHAR SynRetrans;
};

void DrainAndClose(SOCKET connection)
{
    char sink[65536];
    size_t drained = 0;
    while (drained < kDrainMax) {
        const int n = ::recv(connection, sink, sizeof sink, 0);
        if (n <= 0)
            break;
        drained += size_t(n);
    }
    ::shutdown(connection, SD_SEND);
    ::closesocket(connection);
}

// Closes with a reset (no lingering): the peer reads a refusal, never the
// empty end of stream that stands for a cancelled request.
void Refuse(SOCKET connection)
{
    const linger abort{1, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&abort), sizeof abort);
    ::closesocket(connection);
}

// Whether a close the system reported means the connection broke. Windows
// reports a reset as FD_CLOSE with WSAECONNRESET or WSAECONNABORTED; Wine
// reports it without an error, like a peer that only shut down its sending
// side. A send of no bytes tells the two apart: it fails on a broken
// connection and succeeds on a half-closed one, and puts nothing on the wire.
bool Broken(SOCKET connection, int event, int error)
{
    if (event != FD_CLOSE)
        return false;
    if (error == WSAECONNRESET || error == WSAECONNABORTED)
        return true;
    if (error != 0)
        return false;
    return ::send(connection, "", 0, 0) == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK;
}

std::string LastError(const std::string &what)
{
    return what + " failed with Winsock error " + std::to_string(WSAGetLastError());
}
} // namespace

WinsockSocket::WinsockSocket(uint16_t port, SocketEvents *events)
    : m_window([this](UINT message, WPARAM wParam, LPARAM lParam) { return OnMessage(message, wParam, lParam); }),
      m_events(events), m_port(port)
{
}

WinsockSocket::~WinsockSocket()
{
    if (m_dispatched) {
        KillTimer(m_window.Handle(), kRedialTimer);
        DropDispatcherPipe();
        MSG dropped; // connections handed over and never seen
        while (PeekMessageW(&dropped, m_window.Handle(), kHandedOverMessage, kHandedOverMessage, PM_REMOVE))
            if (SOCKET(dropped.wParam) != INVALID_SOCKET)
                ::closesocket(SOCKET(dropped.wParam));
    }
    CloseListener();
    CloseConnection();
    for (const auto &[id, waiting] : m_waiting)
        ::closesocket(waiting);
}

void WinsockSocket::OnHandedOver(SOCKET connection)
{
    ++m_received;
    if (connection == INVALID_SOCKET)
        return;
    sockaddr_storage peer{};
    int length = sizeof peer;
    ::getpeername(connection, reinterpret_cast<sockaddr *>(&peer), &length);
    if (!m_free || !m_waiting.empty() || m_connection != INVALID_SOCKET || !m_allowed.Allows(PeerAddressOf(peer))) {
        const linger refuse{1, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&refuse), sizeof refuse);
        ::closesocket(connection);
        return;
    }
    const int32_t id = ++m_lastRequestId;
    m_waiting.emplace(id, connection);
    ::WSAAsyncSelect(connection, m_window.Handle(), kConnectionMessage, FD_CLOSE);
    if (m_events)
        m_events->wsk_connect_ConnectionRequest(id);
}

void WinsockSocket::Listen()
{
    if (m_dispatched) {
        m_free = true;
        TellDispatcher("READY " + std::to_string(m_received));
        return;
    }
    if (m_listener != INVALID_SOCKET)
        return;
    // One socket for both families where the system has IPv6.
    bool ipv6 = true;
    SOCKET listener = ::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        ipv6 = false;
        listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    }
    if (listener == INVALID_SOCKET)
        throw SocketError(LastError("socket"));
    if (ipv6) {
        DWORD off = 0;
        ::setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char *>(&off), sizeof off);
    }
    // No other program may bind the port beside us while we listen.
    BOOL exclusive = TRUE;
    ::setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&exclusive),
                 sizeof exclusive);

    sockaddr_storage address{};
    int length;
    if (ipv6) {
        auto &in6 = reinterpret_cast<sockaddr_in6 &>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(m_port);
        in6.sin6_addr = in6addr_any;
        length = sizeof in6;
    } else {
        auto &in4 = reinterpret_cast<sockaddr_in &>(address);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(m_port);
        in4.sin_addr.s_addr = htonl(INADDR_ANY);
        length = sizeof in4;
    }
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(listener, SOMAXCONN) != 0 ||
        ::WSAAsyncSelect(listener, m_window.Handle(), kListenerMessage, FD_ACCEPT) != 0) {
        const std::string error = LastError("listening on port " + std::to_string(m_port));
        ::closesocket(listener);
        throw SocketError(error);
    }
    if (m_port == 0) {
        int got = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &got);
        m_port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6 &>(address).sin6_port
                            : reinterpret_cast<sockaddr_in &>(address).sin_port);
    }
    m_listener = listener;
}

int WinsockSocket::State() const
{
    if (m_connection != INVALID_SOCKET)
        return Connected;
    if (m_listener != INVALID_SOCKET || (m_dispatched && m_free))
        return Listening;
    return Closed;
}

void WinsockSocket::Close()
{
    if (m_dispatched && m_free) {
        m_free = false;
        TellDispatcher("BUSY");
    }
    CloseListener();
    CloseConnection();
}

void WinsockSocket::CloseListener()
{
    if (m_listener == INVALID_SOCKET)
        return;
    // Connections the system has taken already stay waiting for Accept.
    ::closesocket(m_listener);
    m_listener = INVALID_SOCKET;
}

void WinsockSocket::CloseConnection()
{
    ++m_reply;
    KillTimer(m_window.Handle(), kDeliveryTimer);
    m_sending = false;
    m_outgoing.clear();
    m_peerReset = false;
    if (m_connection == INVALID_SOCKET)
        return;
    // Nothing more is wanted of it: only the end of the stream goes out.
    ::WSAAsyncSelect(m_connection, m_window.Handle(), 0, 0);
    DrainAndClose(m_connection);
    m_connection = INVALID_SOCKET;
}

void WinsockSocket::Accept(int32_t requestId)
{
    const auto found = m_waiting.find(requestId);
    if (found == m_waiting.end())
        throw SocketError("no waiting connection with request id " + std::to_string(requestId));
    CloseConnection();
    m_connection = found->second;
    m_waiting.erase(found);
    m_bytesSent = 0;
    ::WSAAsyncSelect(m_connection, m_window.Handle(), kConnectionMessage, FD_WRITE | FD_CLOSE);
}

void WinsockSocket::SendData(const std::string &bytes)
{
    if (m_connection == INVALID_SOCKET || m_peerReset) {
        PostMessageW(m_window.Handle(), kReplyDone, m_reply, FALSE);
        return;
    }
    m_outgoing += bytes;
    m_sending = true;
    Flush();
}

void WinsockSocket::Flush()
{
    while (!m_outgoing.empty()) {
        const int n = ::send(m_connection, m_outgoing.data(), int(m_outgoing.size()), 0);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK)
                return; // FD_WRITE follows once there is room
            m_outgoing.clear();
            Finish(false);
            return;
        }
        m_outgoing.erase(0, size_t(n));
        m_bytesSent += unsigned(n);
    }
    m_deliveryChecks = 0;
    CheckDelivered();
}

std::optional<WinsockSocket::Delivery> WinsockSocket::SystemDeliveryProbe(SOCKET connection,
                                                                          unsigned long long bytesSent)
{
    DWORD version = 0;
    TcpInfoV0 info{};
    DWORD got = 0;
    if (::WSAIoctl(connection, kSioTcpInfo, &version, sizeof version, &info, sizeof info, &got, nullptr, nullptr) !=
        0)
        return std::nullopt;
    if (info.State == 0)
        return Delivery::Lost;
    if (info.BytesInFlight == 0 && info.BytesOut >= bytesSent)
        return Delivery::Acknowledged;
    return Delivery::Pending;
}

void WinsockSocket::CheckDelivered()
{
    KillTimer(m_window.Handle(), kDeliveryTimer);
    if (m_peerReset) {
        Finish(false);
        return;
    }
    const auto delivery =
        m_probe ? m_probe(m_connection, m_bytesSent) : SystemDeliveryProbe(m_connection, m_bytesSent);
    if (!delivery || *delivery == Delivery::Acknowledged) {
        Finish(true);
    } else if (*delivery == Delivery::Lost) {
        Finish(false);
    } else if (++m_deliveryChecks * DeliveryCheckMs >= DeliveryWaitMs) {
        // The system goes on retransmitting after the close.
        Finish(true);
    } else {
        SetTimer(m_window.Handle(), kDeliveryTimer, DeliveryCheckMs, nullptr);
    }
}

void WinsockSocket::Finish(bool delivered)
{
    KillTimer(m_window.Handle(), kDeliveryTimer);
    m_sending = false;
    // Always later, never inside SendData: the caller finishes its step first.
    PostMessageW(m_window.Handle(), kReplyDone, m_reply, delivered ? TRUE : FALSE);
}

LRESULT WinsockSocket::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case kListenerMessage:
        OnListenerEvent(SOCKET(wParam), WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        return 0;
    case kConnectionMessage:
        OnConnectionEvent(SOCKET(wParam), WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        return 0;
    case kHandedOverMessage:
        OnHandedOver(SOCKET(wParam));
        return 0;
    case kReplyDone:
        // A reply of a connection closed since then is nobody's concern.
        if (unsigned(wParam) != m_reply || !m_events)
            return 0;
        if (lParam)
            m_events->wsk_connect_SendComplete();
        else
            m_events->wsk_connect_SendFailed();
        return 0;
    case kDispatcherLostMessage:
        OnDispatcherLost();
        return 0;
    case WM_TIMER:
        if (wParam == kDeliveryTimer && m_sending)
            CheckDelivered();
        else if (wParam == kRedialTimer && ConnectDispatcher())
            KillTimer(m_window.Handle(), kRedialTimer);
        return 0;
    default:
        return 0;
    }
}

void WinsockSocket::OnListenerEvent(SOCKET listener, int event, int error)
{
    if (listener != m_listener || event != FD_ACCEPT || error != 0)
        return;
    for (;;) {
        sockaddr_storage peer{};
        int length = sizeof peer;
        const SOCKET connection = ::accept(listener, reinterpret_cast<sockaddr *>(&peer), &length);
        if (connection == INVALID_SOCKET)
            return;
        if (!m_allowed.Allows(PeerAddressOf(peer))) {
            Refuse(connection);
            continue;
        }
        // One request at a time: a second fax server that got in before the
        // session closed the listener is turned away as if it had been refused.
        if (!m_waiting.empty() || m_connection != INVALID_SOCKET) {
            ::closesocket(connection);
            continue;
        }
        const int32_t id = ++m_lastRequestId;
        m_waiting.emplace(id, connection);
        ::WSAAsyncSelect(connection, m_window.Handle(), kConnectionMessage, FD_CLOSE);
        if (m_events)
            m_events->wsk_connect_ConnectionRequest(id);
        if (listener != m_listener)
            return; // the session closed it
    }
}

void WinsockSocket::OnConnectionEvent(SOCKET connection, int event, int error)
{
    const bool broken = Broken(connection, event, error);
    if (connection != m_connection) {
        // A waiting fax server that gave up is gone: Accept will say so.
        for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it) {
            if (it->second == connection && broken) {
                ::closesocket(connection);
                m_waiting.erase(it);
                break;
            }
        }
        return;
    }
    if (event == FD_WRITE) {
        if (m_sending && !m_outgoing.empty())
            Flush();
        return;
    }
    // A close without an error is the peer shutting down its sending side:
    // it still waits for the reply.
    if (!broken)
        return;
    m_peerReset = true;
    if (m_sending)
        Finish(false);
    else if (m_events)
        m_events->wsk_connect_Error();
}
