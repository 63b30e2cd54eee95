#include "ZAVPackageStream.h"

#include <archive.h>
#include <nettle/sha2.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

struct ReaderDeleter {
    void operator()(archive *a) const { archive_read_free(a); }
};

} // namespace

ZAVPackageStream::ZAVPackageStream(int fd)
    : m_fd(fcntl(fd, F_DUPFD_CLOEXEC, 0)), m_digest(std::make_unique<sha256_ctx>()),
      m_readBuffer(kChunkSize), m_chunks(kChunks)
{
    sha256_init(m_digest.get());
    for (Chunk &chunk : m_chunks) {
        chunk.data = std::make_unique<char[]>(kChunkSize);
        m_free.push_back(&chunk);
    }
    m_thread = std::thread([this] { run(); });
}

ZAVPackageStream::~ZAVPackageStream()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

ssize_t ZAVPackageStream::read(const void **data)
{
    std::unique_lock lock(m_mutex);
    if (m_lent) {
        m_free.push_back(m_lent);
        m_lent = nullptr;
        m_changed.notify_all();
    }
    m_changed.wait(lock, [this] { return !m_filled.empty() || m_done; });
    if (!m_filled.empty()) {
        m_lent = m_filled.front();
        m_filled.erase(m_filled.begin());
        m_changed.notify_all();
        *data = m_lent->data.get();
        return static_cast<ssize_t>(m_lent->size);
    }
    return m_error.empty() ? 0 : -1;
}

std::string ZAVPackageStream::errorMessage() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

std::string ZAVPackageStream::sha256()
{
    const void *data = nullptr;
    while (read(&data) > 0) {
    }
    std::lock_guard lock(m_mutex);
    return m_error.empty() ? m_sha256 : std::string();
}

ZAVPackageStream::Chunk *ZAVPackageStream::takeFree()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_free.empty() || m_cancelled; });
    if (m_cancelled)
        return nullptr;
    Chunk *chunk = m_free.back();
    m_free.pop_back();
    return chunk;
}

void ZAVPackageStream::hand(Chunk *chunk)
{
    {
        std::lock_guard lock(m_mutex);
        m_filled.push_back(chunk);
    }
    m_changed.notify_all();
}

void ZAVPackageStream::finish(const std::string &error)
{
    {
        std::lock_guard lock(m_mutex);
        m_error = error;
        m_done = true;
    }
    m_changed.notify_all();
}

ssize_t ZAVPackageStream::readFile(archive *a, void *self, const void **buffer)
{
    auto *stream = static_cast<ZAVPackageStream *>(self);
    while (true) {
        const ssize_t n = ::read(stream->m_fd.get(), stream->m_readBuffer.data(),
                                 stream->m_readBuffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            stream->m_readFailed = true;
            archive_set_error(a, errno, "cannot read the package: %s", std::strerror(errno));
            return -1;
        }
        stream->m_bytesRead += static_cast<uint64_t>(n);
        sha256_update(stream->m_digest.get(), static_cast<size_t>(n),
                      reinterpret_cast<const uint8_t *>(stream->m_readBuffer.data()));
        *buffer = stream->m_readBuffer.data();
        return n;
    }
}

void ZAVPackageStream::run()
{
    if (!m_fd.valid())
        return finish(std::string("cannot read the package: ") + std::strerror(EBADF));
    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    if (!reader)
        return finish("cannot set up the decompression");
    // Only the compressions a package may use: no filter that would start a helper program.
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_filter_bzip2(reader.get());
    archive_read_support_filter_xz(reader.get());
    archive_read_support_filter_zstd(reader.get());
    archive_read_support_format_raw(reader.get());
    const auto failed = [&] {
        // An empty file is no compressed stream either: let the reader say it is no package.
        if (m_bytesRead == 0 && !m_readFailed)
            return finish(std::string());
        const char *text = archive_error_string(reader.get());
        finish(text ? text : "unknown error");
    };
    if (archive_read_open(reader.get(), this, nullptr, &ZAVPackageStream::readFile, nullptr) !=
        ARCHIVE_OK)
        return failed();
    archive_entry *entry = nullptr;
    const int header = archive_read_next_header(reader.get(), &entry);
    if (header == ARCHIVE_EOF)
        return finish(std::string());
    if (header < ARCHIVE_WARN)
        return failed();

    // Blocks, not archive_read_data(): that one drops what it copied when a later block fails,
    // and the bytes before a cut are what tells the reader how far the package got.
    Chunk *chunk = nullptr;
    const auto handPartial = [&] {
        if (chunk && chunk->size > 0) {
            hand(chunk);
        } else if (chunk) {
            std::lock_guard lock(m_mutex);
            m_free.push_back(chunk);
        }
        chunk = nullptr;
    };
    while (true) {
        const void *block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader.get(), &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN) {
            handPartial();
            return failed();
        }
        const char *bytes = static_cast<const char *>(block);
        while (size > 0) {
            if (!chunk) {
                chunk = takeFree();
                if (!chunk)
                    return finish("cancelled");
                chunk->size = 0;
            }
            const size_t n = std::min(size, kChunkSize - chunk->size);
            std::memcpy(chunk->data.get() + chunk->size, bytes, n);
            chunk->size += n;
            bytes += n;
            size -= n;
            if (chunk->size == kChunkSize) {
                hand(chunk);
                chunk = nullptr;
            }
        }
    }
    handPartial();
    // Whatever follows the compressed stream still belongs to the file that is digested.
    const void *rest = nullptr;
    while (true) {
        const ssize_t n = readFile(reader.get(), this, &rest);
        if (n < 0)
            return failed();
        if (n == 0)
            break;
    }
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(m_digest.get(), sizeof digest, digest);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const uint8_t byte : digest) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0xf];
    }
    {
        std::lock_guard lock(m_mutex);
        m_sha256 = hex;
    }
    finish(std::string());
}
