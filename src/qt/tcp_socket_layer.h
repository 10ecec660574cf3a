#pragma once

#include "dispatcher_link.h"
#include "peer_filter.h"
#include "platform.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

class QSocketNotifier;
class QTcpServer;

// The socket on a real TCP port, all addresses, IPv4 and IPv6. The accepted
// connection is kept as a plain descriptor that is never read during a
// session: a fax server that shuts down its sending side is still waiting for
// the reply, and whatever a peer sends is held back by TCP flow control
// instead of piling up in memory. Its events reach the sink on the GUI thread.
class TcpSocketLayer final : public QObject, public Socket {
    Q_OBJECT
public:
    // Port 0 takes a free port on the first Listen and keeps it afterwards.
    explicit TcpSocketLayer(uint16_t port, QObject *parent = nullptr);
    ~TcpSocketLayer() override;

    void SetEvents(SocketEvents *events) { m_events = events; }
    // Connections from anyone else are refused at once with a reset, unseen by
    // the program.
    void SetAllowedPeers(PeerFilter allowed) { m_allowed = std::move(allowed); }
    // On a shared host: never listens on the port; "listening" is being free
    // for the dispatcher's connections, which arrive as if accepted here.
    void UseDispatcher(std::unique_ptr<DispatcherLink> link);

    void Listen() override;
    int State() const override;
    void Close() override;
    void Accept(int32_t requestId) override;
    void SendData(const std::string &bytes) override;
    uint16_t LocalPort() const override;

private:
    class Server;
    void OnIncoming(int descriptor);
    void WatchForReset();
    void OnReset();
    void Flush();
    void CheckDelivered();
    void Fail();
    void CloseConnection();

    SocketEvents *m_events = nullptr;
    PeerFilter m_allowed;
    std::unique_ptr<Server> m_server;
    std::unique_ptr<DispatcherLink> m_dispatcher;
    bool m_free = false; // with the dispatcher: what listening would be
    uint16_t m_port;
    int32_t m_lastRequestId = 0;
    std::map<int32_t, int> m_waiting; // taken by the system, not yet accepted
    int m_connection = -1;
    uint64_t m_connections = 0; // accepted so far: tells a connection from its successors
    int m_resetWatch = -1; // an epoll set that wakes only on errors and hang-ups
    std::unique_ptr<QSocketNotifier> m_resetNotifier;
    std::unique_ptr<QSocketNotifier> m_writable;
    QByteArray m_outgoing;
    QTimer m_deliveryCheck;
    int m_deliveryChecks = 0;
};
