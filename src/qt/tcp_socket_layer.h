#pragma once

#include "socket_layer.h"

#include <QTimer>
#include <map>
#include <memory>

class QSocketNotifier;
class QTcpServer;

// The socket on a real TCP port. The accepted connection is kept as a plain
// descriptor that is never read during a session: a fax server that shuts
// down its sending side is still waiting for the reply, and whatever a peer
// sends is held back by TCP flow control instead of piling up in memory.
class TcpSocketLayer final : public SocketLayer {
    Q_OBJECT
public:
    // Port 0 takes a free port on the first Listen and keeps it afterwards.
    explicit TcpSocketLayer(quint16 port, QObject *parent = nullptr);
    ~TcpSocketLayer() override;

    void Listen() override;
    int State() const override;
    void Close() override;
    void Accept(qint32 requestId) override;
    void SendData(const QByteArray &data) override;
    quint16 LocalPort() const override;

private:
    class Server;
    void OnIncoming(int descriptor);
    void Flush();
    void CheckDelivered();
    void Fail();
    void CloseConnection();

    std::unique_ptr<Server> m_server;
    quint16 m_port;
    qint32 m_lastRequestId = 0;
    std::map<qint32, int> m_waiting; // taken by the system, not yet accepted
    int m_connection = -1;
    std::unique_ptr<QSocketNotifier> m_writable;
    QByteArray m_outgoing;
    QTimer m_deliveryCheck;
    int m_deliveryChecks = 0;
};
