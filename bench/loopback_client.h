// What the in-process benchmarks' client threads share: a blocking loopback connection with
// TCP_NODELAY and a 2 s receive timeout, and one request answered by a reply of known length.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

// A connected descriptor, or -1 (reported on stderr).
inline int ConnectLoopback(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::perror("connect");
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends `request` and reads exactly `replyLength` bytes into `reply`; false when either fails.
inline bool Exchange(int fd, const uint8_t* request, size_t length, uint8_t* reply, size_t replyLength)
{
    if (::send(fd, request, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length))
        return false;
    size_t got = 0;
    while (got < replyLength) {
        const ssize_t n = ::recv(fd, reply + got, replyLength - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

// FC3 x 10 one request after the other until `stop` or a failed exchange; `onReply` gets each
// round trip in microseconds.
template <typename OnReply> void ReadHoldingLoop(uint16_t port, const std::atomic<bool>& stop, OnReply onReply)
{
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return;
    const uint8_t read10[] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 10};
    uint8_t reply[29];
    while (!stop.load()) {
        const auto start = std::chrono::steady_clock::now();
        if (!Exchange(fd, read10, sizeof read10, reply, sizeof reply))
            break;
        onReply(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    ::close(fd);
}

} // namespace bench
