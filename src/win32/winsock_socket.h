#pragma once

#include "message_window.h"
#include "peer_filter.h"
#include "platform.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

// The program's socket over Winsock. Its events arrive on the GUI thread
// through WSAAsyncSelect on a message-only window, so that every handler
// runs between two messages like a click does.
//
// Listening takes every address, IPv4 and IPv6: one IPv6 socket with
// IPV6_V6ONLY off, or an IPv4 one where the system has no IPv6.
//
// The connection is never read while it is open: a fax server that shuts
// down its sending side (FD_CLOSE without an error) is still waiting for its
// reply and raises nothing; a reset or abort (FD_CLOSE with WSAECONNRESET or
// WSAECONNABORTED; under Wine FD_CLOSE without an error after which a send
// of no bytes fails) raises wsk_connect_Error.
//
// When the reply counts as sent: every byte has been handed to the system
// (send() took it all, waiting for FD_WRITE when the buffer is full) and,
// where the system can tell (SIO_TCP_INFO, Windows 10 1703 and later), the
// peer has acknowledged every byte, checked every few milliseconds for at
// most ten seconds. A reset known by then makes it SendFailed instead.
// Wine has no SIO_TCP_INFO, so there "sent" means handed to the system with
// no reset seen; the Linux edition waits for the acknowledgement everywhere.
//
// Closing the connection drains what the peer sent (bounded), shuts down the
// sending side and closes without lingering: the peer sees the end of the
// stream, not a reset, and the system still delivers what was queued.
class WinsockSocket final : public Socket {
public:
    // Whether the peer has every byte: an answer, or none where the system
    // cannot tell.
    enum class Delivery { Acknowledged, Pending, Lost };
    using DeliveryProbe = std::function<std::optional<Delivery>(SOCKET connection, unsigned long long bytesSent)>;

    // Port 0 takes a free port on the first Listen and keeps it afterwards.
    explicit WinsockSocket(uint16_t port, SocketEvents *events = nullptr);
    ~WinsockSocket() override;
    WinsockSocket(const WinsockSocket &) = delete;
    WinsockSocket &operator=(const WinsockSocket &) = delete;

    void SetEvents(SocketEvents *events) { m_events = events; }
    // Connections from anyone else are refused at once with a reset, unseen by
    // the program.
    void SetAllowedPeers(PeerFilter allowed) { m_allowed = std::move(allowed); }
    // Replaces the system's acknowledgement query (tests).
    void SetDeliveryProbe(DeliveryProbe probe) { m_probe = std::move(probe); }
    // On a session host: registers with the dispatcher's pipe instead of ever
    // listening on the port; "listening" is being free for the connections it
    // hands over, which arrive as if accepted here. False when no dispatcher
    // answers there. If the dispatcher goes away, the socket registers again
    // as soon as it is back, trying every second.
    bool UseDispatcher(const std::wstring &pipeName);
    static std::optional<Delivery> SystemDeliveryProbe(SOCKET connection, unsigned long long bytesSent);

    void Listen() override;
    int State() const override;
    void Close() override;
    void Accept(int32_t requestId) override;
    void SendData(const std::string &bytes) override;
    uint16_t LocalPort() const override { return m_port; }

    // How often and how long delivery is checked.
    static constexpr int DeliveryCheckMs = 5;
    static constexpr int DeliveryWaitMs = 10000;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnListenerEvent(SOCKET listener, int event, int error);
    void OnConnectionEvent(SOCKET connection, int event, int error);
    void Flush();
    void CheckDelivered();
    void Finish(bool delivered);
    void CloseListener();
    void CloseConnection();
    // Dispatcher mode (winsock_dispatcher.cpp).
    static constexpr UINT kHandedOverMessage = WM_APP + 4;
    static constexpr UINT kDispatcherLostMessage = WM_APP + 5;
    static constexpr UINT_PTR kRedialTimer = 2;
    bool ConnectDispatcher();
    void DropDispatcherPipe();
    void OnDispatcherLost();
    void TellDispatcher(const std::string &word);
    void OnHandedOver(SOCKET connection);

    MessageWindow m_window;
    SocketEvents *m_events;
    PeerFilter m_allowed;
    DeliveryProbe m_probe;
    uint16_t m_port;
    SOCKET m_listener = INVALID_SOCKET;
    std::map<int32_t, SOCKET> m_waiting; // taken by the system, not yet accepted
    int32_t m_lastRequestId = 0;
    SOCKET m_connection = INVALID_SOCKET;
    bool m_peerReset = false;
    std::string m_outgoing;
    bool m_sending = false;
    unsigned long long m_bytesSent = 0;
    int m_deliveryChecks = 0;
    // Counts replies: a completion posted for an earlier one is dropped.
    unsigned m_reply = 0;
    // With a dispatcher: the registration, its reader, whether free, and the
    // connections received (so that a READY is never taken for a later one).
    bool m_dispatched = false;
    std::wstring m_pipeName;
    HANDLE m_pipe = INVALID_HANDLE_VALUE; // none while the dispatcher is away
    std::thread m_pipeReader;
    bool m_free = false;
    uint64_t m_received = 0;
};
