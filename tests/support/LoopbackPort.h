// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Loopback ports that stay the test's own for as long as it needs them: the
// socket that holds the port is never released while the port is in use, so
// no other program can take it in between.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A TCP port on a loopback address that refuses every connection while this
// object lives: the port is bound but never listened on, so the kernel answers
// a connection attempt with a reset. Port 0 lets the kernel pick a free one.
class RefusingPort {
public:
    explicit RefusingPort(const char* address = "127.0.0.1", int wanted = 0)
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(wanted));
        if (inet_pton(AF_INET, address, &a.sin_addr) != 1)
            return;
        socklen_t size = sizeof a;
        if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
            && getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
            port = ntohs(a.sin_port);
    }
    ~RefusingPort()
    {
        if (fd >= 0)
            close(fd);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    // 0 when no port could be had.
    int number() const { return port; }

    // Starts listening on the held port and hands the socket over (to
    // QTcpServer::setSocketDescriptor, say): the port goes from refusing to
    // accepting without a moment in which someone else could bind it.
    // -1 on failure; the object holds nothing afterwards.
    int listenAndRelease()
    {
        const int held = fd;
        fd = -1;
        if (held >= 0 && listen(held, 16) != 0) {
            close(held);
            return -1;
        }
        return held;
    }

private:
    int fd = -1;
    int port = 0;
};
