#pragma once

#include <QByteArray>
#include <QObject>
#include <stdexcept>

// The one socket of the program: first the listener, then (after Accept) the
// connection to the fax server, then the listener again.
class SocketLayer : public QObject {
    Q_OBJECT
public:
    // Values of State(); callers only ever ask whether it is Closed.
    enum : int { Closed = 0, Listening = 2, Connected = 7 };

    using QObject::QObject;
    ~SocketLayer() override = default;

    // Throws SocketError when the port cannot be listened on.
    virtual void Listen() = 0;
    virtual int State() const = 0;
    // Closes whatever the socket is at the time: listener or connection.
    virtual void Close() = 0;
    // Takes the connection that raised ConnectionRequest(requestId), even when
    // the listener has been closed since.
    virtual void Accept(qint32 requestId) = 0;
    // Queues the data and returns; SendComplete or SendFailed follows later.
    virtual void SendData(const QByteArray &data) = 0;
    virtual quint16 LocalPort() const = 0;

signals:
    void ConnectionRequest(qint32 requestId);
    void SendComplete();
    // The peer was gone before all of the data reached it.
    void SendFailed();
};

struct SocketError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
