#pragma once

#include "session/socket_layer.h"

#include <QByteArray>
#include <QStringList>
#include <functional>
#include <memory>

// A fax server as the program meets it on the wire: a plain blocking client
// socket that the test drives step by step.
class TcpPeer {
public:
    TcpPeer() = default;
    TcpPeer(const TcpPeer &) = delete;
    TcpPeer &operator=(const TcpPeer &) = delete;
    ~TcpPeer();

    // False when the system refused the connection.
    bool Connect(quint16 port, bool overIpv6 = false);
    // Sends everything; false once the program is no longer there to take it.
    bool Send(const QByteArray &data);
    // Shuts down the sending side only: the peer still waits for the reply.
    void HalfClose();
    // Goes away with a reset, as a crashed fax server does.
    void Reset();

    // Takes what has arrived, without waiting; true once the program has
    // ended the stream (orderly or not).
    bool Finished();
    QByteArray received;
    bool wasReset = false;

private:
    int m_fd = -1;
    bool m_ended = false;
};

// The real socket, with a log of what the window asked of it.
class RecordingSocketLayer final : public SocketLayer {
    Q_OBJECT
public:
    explicit RecordingSocketLayer(std::unique_ptr<SocketLayer> real);

    void Listen() override;
    int State() const override { return m_real->State(); }
    void Close() override;
    void Accept(qint32 requestId) override;
    void SendData(const QByteArray &data) override;
    quint16 LocalPort() const override { return m_real->LocalPort(); }

    QStringList calls;
    // Runs with each call's name before the call is carried out.
    std::function<void(const QString &call)> onCall;

private:
    void Record(const QString &call);
    std::unique_ptr<SocketLayer> m_real;
};
