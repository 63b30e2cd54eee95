#include "ZAVFileDigest.h"

#include <nettle/sha2.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

ZAVFileDigest::ZAVFileDigest(int fd, off_t size) : m_fd(fcntl(fd, F_DUPFD_CLOEXEC, 0))
{
    m_thread = std::thread([this, size] { run(size); });
}

ZAVFileDigest::~ZAVFileDigest()
{
    m_cancelled = true;
    if (m_thread.joinable())
        m_thread.join();
}

std::string ZAVFileDigest::result(int *error)
{
    if (m_thread.joinable())
        m_thread.join();
    *error = m_error;
    return m_hex;
}

void ZAVFileDigest::run(off_t size)
{
    if (!m_fd.valid()) {
        m_error = EBADF;
        return;
    }
    sha256_ctx context;
    sha256_init(&context);
    std::vector<uint8_t> buffer(1 << 20);
    off_t offset = 0;
    while (offset < size) {
        if (m_cancelled) {
            m_error = ECANCELED;
            return;
        }
        const size_t wanted =
            static_cast<size_t>(std::min<off_t>(size - offset, static_cast<off_t>(buffer.size())));
        const ssize_t n = pread(m_fd.get(), buffer.data(), wanted, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = n < 0 ? errno : EIO;
            return;
        }
        sha256_update(&context, static_cast<size_t>(n), buffer.data());
        offset += n;
    }
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    static const char digits[] = "0123456789abcdef";
    for (const uint8_t byte : digest) {
        m_hex += digits[byte >> 4];
        m_hex += digits[byte & 0xf];
    }
}
