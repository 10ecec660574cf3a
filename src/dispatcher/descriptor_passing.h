#pragma once

// Descriptors passed beside a message on a Unix socket (SCM_RIGHTS): the
// dispatcher hands connections to programs this way.
#include <span>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Sends the bytes as one message with the descriptor beside them; what
// sendmsg returns.
ssize_t SendWithDescriptor(int socket, std::string_view bytes, int descriptor, int flags);

struct ReceivedMessage {
    ssize_t length = -1;  // what recvmsg returned; errno tells the failure
    int flags = 0;        // the message's: MSG_TRUNC, MSG_CTRUNC
    // Every descriptor that came along, the receiver's to close. Those past
    // maxDescriptors are closed by the kernel and the message has MSG_CTRUNC.
    std::vector<int> descriptors;
};

// Receives one message into the buffer, with room for up to maxDescriptors
// (at most 16) descriptors; received descriptors are close-on-exec.
ReceivedMessage ReceiveWithDescriptors(int socket, std::span<char> buffer, std::size_t maxDescriptors, int flags);
