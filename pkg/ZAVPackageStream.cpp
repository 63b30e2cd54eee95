#include "ZAVPackageStream.h"

#include <archive.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

const char kCancelled[] = "cancelled";

struct ReaderDeleter {
    void operator()(archive *a) const { archive_read_free(a); }
};

} // namespace

ZAVPackageStream::ZAVPackageStream(int fd)
    : m_fd(fcntl(fd, F_DUPFD_CLOEXEC, 0)), m_readBuffer(kChunkSize), m_chunks(kChunks)
{
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

ssize_t ZAVPackageStream::readRaw(char *into, size_t size)
{
    while (true) {
        const ssize_t n = ::read(m_fd.get(), into, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_readFailed = true;
            m_readError = std::string("cannot read the package: ") + std::strerror(errno);
            return -1;
        }
        m_bytesRead += static_cast<uint64_t>(n);
        m_digest.update(into, static_cast<size_t>(n));
        return n;
    }
}

ssize_t ZAVPackageStream::readFile(archive *a, void *self, const void **buffer)
{
    auto *stream = static_cast<ZAVPackageStream *>(self);
    *buffer = stream->m_readBuffer.data();
    if (stream->m_pending > 0)
        return static_cast<ssize_t>(std::exchange(stream->m_pending, 0));
    const ssize_t n = stream->readRaw(stream->m_readBuffer.data(), stream->m_readBuffer.size());
    if (n < 0)
        archive_set_error(a, EIO, "%s", stream->m_readError.c_str());
    return n;
}

char *ZAVPackageStream::outputSpace(size_t *size)
{
    if (!m_filling) {
        m_filling = takeFree();
        if (!m_filling)
            return nullptr;
        m_filling->size = 0;
    }
    *size = kChunkSize - m_filling->size;
    return m_filling->data.get() + m_filling->size;
}

void ZAVPackageStream::produced(size_t size)
{
    m_filling->size += size;
    if (m_filling->size == kChunkSize)
        hand(std::exchange(m_filling, nullptr));
}

void ZAVPackageStream::handPartial()
{
    if (m_filling && m_filling->size > 0) {
        hand(m_filling);
    } else if (m_filling) {
        std::lock_guard lock(m_mutex);
        m_free.push_back(m_filling);
    }
    m_filling = nullptr;
}

std::string ZAVPackageStream::inflateGzip()
{
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return "cannot set up the decompression";
    const std::unique_ptr<z_stream, int (*)(z_stream *)> end(&z, inflateEnd);
    char *const buffer = m_readBuffer.data();
    z.next_in = reinterpret_cast<Bytef *>(buffer);
    z.avail_in = static_cast<uInt>(std::exchange(m_pending, 0));
    // Moves what is left of the input to the front and reads more after it.
    const auto readMore = [&] {
        std::memmove(buffer, z.next_in, z.avail_in);
        z.next_in = reinterpret_cast<Bytef *>(buffer);
        const ssize_t n = readRaw(buffer + z.avail_in, m_readBuffer.size() - z.avail_in);
        if (n > 0)
            z.avail_in += static_cast<uInt>(n);
        return n;
    };
    bool inMember = true;
    while (true) {
        if (!inMember) {
            // Another member follows where its magic number does; whatever else follows is
            // not compressed data (as gzip -d ignores trailing bytes), and it is only digested.
            if (z.avail_in < 2) {
                const ssize_t n = readMore();
                if (n < 0)
                    return m_readError;
                if (n == 0)
                    return std::string();
                continue;
            }
            if (z.next_in[0] != 0x1f || z.next_in[1] != 0x8b)
                return std::string();
            inflateReset(&z);
            inMember = true;
        }
        if (z.avail_in == 0) {
            const ssize_t n = readMore();
            if (n < 0)
                return m_readError;
            if (n == 0)
                return "the gzip data ends early";
        }
        size_t space = 0;
        char *out = outputSpace(&space);
        if (!out)
            return kCancelled;
        z.next_out = reinterpret_cast<Bytef *>(out);
        z.avail_out = static_cast<uInt>(space);
        // zlib checks each member's CRC-32 and length against its trailer.
        const int status = inflate(&z, Z_NO_FLUSH);
        produced(space - z.avail_out);
        if (status == Z_STREAM_END)
            inMember = false;
        else if (status != Z_OK && status != Z_BUF_ERROR)
            return std::string("the gzip data is damaged: ") + (z.msg ? z.msg : "data error");
    }
}

std::string ZAVPackageStream::decompressOther()
{
    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    if (!reader)
        return "cannot set up the decompression";
    // Only the compressions a package may use: no filter that would start a helper program.
    // Their readers check what each format carries: bzip2's CRCs, xz's check, zstd's checksum
    // where the frame has one.
    archive_read_support_filter_bzip2(reader.get());
    archive_read_support_filter_xz(reader.get());
    archive_read_support_filter_zstd(reader.get());
    archive_read_support_format_raw(reader.get());
    const auto failed = [&] {
        if (m_readFailed)
            return m_readError;
        const char *text = archive_error_string(reader.get());
        return std::string(text ? text : "unknown error");
    };
    if (archive_read_open(reader.get(), this, nullptr, &ZAVPackageStream::readFile, nullptr) !=
        ARCHIVE_OK)
        return failed();
    archive_entry *entry = nullptr;
    const int header = archive_read_next_header(reader.get(), &entry);
    if (header == ARCHIVE_EOF)
        return std::string();
    if (header < ARCHIVE_WARN)
        return failed();

    // Blocks, not archive_read_data(): that one drops what it copied when a later block fails,
    // and the bytes before a cut are what tells the reader how far the package got.
    while (true) {
        const void *block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader.get(), &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            return std::string();
        if (status < ARCHIVE_WARN)
            return failed();
        const char *bytes = static_cast<const char *>(block);
        while (size > 0) {
            size_t space = 0;
            char *out = outputSpace(&space);
            if (!out)
                return kCancelled;
            const size_t n = std::min(size, space);
            std::memcpy(out, bytes, n);
            produced(n);
            bytes += n;
            size -= n;
        }
    }
}

void ZAVPackageStream::run()
{
    if (!m_fd.valid())
        return finish(std::string("cannot read the package: ") + std::strerror(EBADF));
    // The first bytes tell the compression. gzip is undone with zlib, which checks each
    // member's CRC-32 and length; libarchive's gzip reader leaves them unchecked.
    const ssize_t first = readRaw(m_readBuffer.data(), m_readBuffer.size());
    if (first < 0)
        return finish(m_readError);
    // An empty file is no compressed stream either: let the reader say it is no package.
    m_pending = static_cast<size_t>(first);
    const auto *magic = reinterpret_cast<const unsigned char *>(m_readBuffer.data());
    const std::string error = first == 0 ? std::string()
                              : first >= 2 && magic[0] == 0x1f && magic[1] == 0x8b
                                  ? inflateGzip()
                                  : decompressOther();
    if (error == kCancelled)
        return finish(error);
    // The bytes before a failure still go to the reader: they tell how far the package got.
    handPartial();
    if (!error.empty())
        return finish(error);
    // Whatever follows the compressed stream still belongs to the file that is digested.
    while (true) {
        const ssize_t n = readRaw(m_readBuffer.data(), m_readBuffer.size());
        if (n < 0)
            return finish(m_readError);
        if (n == 0)
            break;
    }
    std::string hex = m_digest.hexDigest();
    if (hex.empty())
        return finish("cannot compute the package's SHA-256");
    {
        std::lock_guard lock(m_mutex);
        m_sha256 = hex;
    }
    finish(std::string());
}
