#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The floor the benchmarks compare with: a plain blocking connect to 127.0.0.1:port, a read of
// 4 bytes and a close. False when any step fails.
inline bool BlockingFourByteQuery(unsigned short port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    char buffer[4];
    int received = 0;
    while (ok && received < 4) {
        const ssize_t count = ::recv(fd, buffer + received, sizeof buffer - static_cast<size_t>(received), 0);
        ok = count > 0;
        received += ok ? static_cast<int>(count) : 0;
    }
    if (fd >= 0)
        ::close(fd);
    return ok;
}
