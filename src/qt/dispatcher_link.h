#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <string>

// The program's registration with the dispatcher of a shared host, which
// owns the fax servers' port and hands over the connections meant for this
// user. The dispatcher knows the user from the system, not from anything
// said here. The program tells it when it is free ("READY n", n being the
// connections received so far, so that a word written before the latest
// hand-over cannot count as free for the next) and when it is not ("BUSY").
// If the dispatcher goes away, the link connects again every second and
// repeats the last word.
class DispatcherLink final : public QObject {
    Q_OBJECT
public:
    // The host's registration socket: the program looks for it at start.
    static constexpr const char *kDefaultPath = "/run/corvane-tesk/register";

    explicit DispatcherLink(std::string path, QObject *parent = nullptr);
    ~DispatcherLink() override;

    void Ready();
    void Busy();

signals:
    // A fax server's connection, now this program's descriptor to close.
    void Connection(int descriptor);

private:
    void Connect();
    void Say();
    void Hear();
    void Drop();

    std::string m_path;
    int m_fd = -1;
    bool m_ready = false;
    uint64_t m_received = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_retry;
};
