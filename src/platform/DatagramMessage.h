#pragma once
// The message header of one datagram for sendmsg() and recvmsg(): the peer's address,
// the bytes in one part, and room for the control data that carries the network interface
// (IP_PKTINFO). Used by the sockets and the broadcast sends inside platform.

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cstddef>

namespace torvane::platform {

[[nodiscard]] inline msghdr DatagramMessage(sockaddr_in& peer, iovec& part, void* control,
                                            std::size_t controlSize) {
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof(peer);
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = controlSize;
    return message;
}

} // namespace torvane::platform
