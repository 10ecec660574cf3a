#include "descriptor_passing.h"

#include <algorithm>
#include <cstring>
#include <sys/socket.h>

namespace {
constexpr std::size_t kMostDescriptors = 16;
} // namespace

ssize_t SendWithDescriptor(int socket, std::string_view bytes, int descriptor, int flags)
{
    iovec data{const_cast<char *>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *part = CMSG_FIRSTHDR(&message);
    part->cmsg_level = SOL_SOCKET;
    part->cmsg_type = SCM_RIGHTS;
    part->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(part), &descriptor, sizeof descriptor);
    return ::sendmsg(socket, &message, flags);
}

ReceivedMessage ReceiveWithDescriptors(int socket, std::span<char> buffer, std::size_t maxDescriptors, int flags)
{
    iovec data{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(kMostDescriptors * sizeof(int))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(std::min(maxDescriptors, kMostDescriptors) * sizeof(int));
    ReceivedMessage received;
    received.length = ::recvmsg(socket, &message, flags | MSG_CMSG_CLOEXEC);
    if (received.length < 0)
        return received;
    received.flags = message.msg_flags;
    for (cmsghdr *part = CMSG_FIRSTHDR(&message); part; part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t count = (part->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int descriptor;
            std::memcpy(&descriptor, CMSG_DATA(part) + i * sizeof(int), sizeof descriptor);
            received.descriptors.push_back(descriptor);
        }
    }
    return received;
}
