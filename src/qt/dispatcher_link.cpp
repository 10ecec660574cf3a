#include "dispatcher_link.h"

#include "descriptor_passing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr int kRetryMs = 1000;
} // namespace

DispatcherLink::DispatcherLink(std::string path, QObject *parent) : QObject(parent), m_path(std::move(path))
{
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &DispatcherLink::Connect);
    Connect();
}

DispatcherLink::~DispatcherLink()
{
    Drop();
}

void DispatcherLink::Connect()
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_path.size() >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        if (!m_retry.isActive())
            std::fprintf(stderr, "corvane-tesk: the dispatcher at %s does not answer (%s); trying again\n",
                         m_path.c_str(), std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        m_retry.start();
        return;
    }
    m_retry.stop();
    m_fd = fd;
    m_received = 0; // counted per registration
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &DispatcherLink::Hear);
    Say();
}

void DispatcherLink::Ready()
{
    m_ready = true;
    Say();
}

void DispatcherLink::Busy()
{
    m_ready = false;
    Say();
}

void DispatcherLink::Say()
{
    if (m_fd < 0)
        return;
    const std::string word = m_ready ? "READY " + std::to_string(m_received) : std::string("BUSY");
    if (::send(m_fd, word.data(), word.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN) {
        Drop();
        m_retry.start();
    }
}

void DispatcherLink::Hear()
{
    char text[64];
    const ReceivedMessage received = ReceiveWithDescriptors(m_fd, text, 1, MSG_DONTWAIT);
    const ssize_t n = received.length;
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) { // the dispatcher has ended
        Drop();
        m_retry.start();
        return;
    }
    for (const int descriptor : received.descriptors) {
        ++m_received;
        m_ready = false; // the dispatcher counts this program busy now
        emit Connection(descriptor);
    }
}

void DispatcherLink::Drop()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
