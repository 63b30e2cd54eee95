#pragma once

#include "ZAVFd.h"

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>

// The SHA-256 of a file, computed on a thread of its own while the caller goes on, so that a
// large package is digested while it is being unpacked. Reads with its own descriptor and a
// fixed buffer. Created, joined and destroyed on one thread (the main thread).
class ZAVFileDigest {
public:
    // Starts digesting the first `size` bytes of the file open as `fd` (which the caller
    // keeps).
    ZAVFileDigest(int fd, off_t size);
    // Stops early when the result is not wanted.
    ~ZAVFileDigest();
    ZAVFileDigest(const ZAVFileDigest &) = delete;
    ZAVFileDigest &operator=(const ZAVFileDigest &) = delete;

    // Waits for the digest: 64 lowercase hex digits, or empty when the file could not be read
    // to the end (*error then holds errno).
    std::string result(int *error);

private:
    void run(off_t size);

    ZAVFd m_fd;
    std::atomic<bool> m_cancelled{false};
    std::string m_hex;
    int m_error = 0;
    std::thread m_thread;
};
