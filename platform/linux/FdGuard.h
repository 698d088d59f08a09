#pragma once

#include <unistd.h>
#include <utility>

// Owns a file descriptor and closes it when it goes; -1 owns nothing.
class FdGuard final
{
public:
    explicit FdGuard(int fd)
        : m_fd(fd)
    { }
    ~FdGuard()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;

    int Get() const { return m_fd; }
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};
