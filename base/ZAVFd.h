#pragma once

#include <unistd.h>

#include <utility>

// Owns one file descriptor and closes it when it goes. Move-only; any thread.
class ZAVFd {
public:
    ZAVFd() = default;
    explicit ZAVFd(int fd) : m_fd(fd) {}
    ZAVFd(ZAVFd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    ZAVFd &operator=(ZAVFd &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    ZAVFd(const ZAVFd &) = delete;
    ZAVFd &operator=(const ZAVFd &) = delete;
    ~ZAVFd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};
