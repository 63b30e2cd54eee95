#pragma once

#include "ZAVFd.h"

#include <sys/types.h>

#include <cstdint>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct sha256_ctx;

// The uncompressed bytes of a package, produced on a thread of its own: it reads the package
// file once, computes its SHA-256 on the way, and undoes the compression (gzip, bzip2, xz or
// zstd, told from the content by libarchive; none passes through). The caller reads the result
// in chunks while the next ones are being decompressed, as tar reads from gzip through a pipe.
// At most kChunks chunks of kChunkSize bytes are in flight, whatever the package's size.
//
// Created, read and destroyed on one thread (the main thread).
class ZAVPackageStream {
public:
    static constexpr size_t kChunkSize = 1 << 20;
    static constexpr size_t kChunks = 4;

    // Starts reading `fd` (which the caller keeps open) from its start.
    explicit ZAVPackageStream(int fd);
    // Stops the thread when the caller gave up before the end.
    ~ZAVPackageStream();
    ZAVPackageStream(const ZAVPackageStream &) = delete;
    ZAVPackageStream &operator=(const ZAVPackageStream &) = delete;

    // Waits for the next chunk: its size (and *data, valid until the next call), 0 at the end,
    // -1 when the package cannot be read or decompressed (errorMessage() says why).
    ssize_t read(const void **data);
    std::string errorMessage() const;

    // Reads what the caller did not need (the padding after a tar archive's end) to the end of
    // the file and returns its SHA-256, 64 lowercase hex digits; empty when the package cannot
    // be read or decompressed to its end (errorMessage() says why).
    std::string sha256();

private:
    struct Chunk {
        std::unique_ptr<char[]> data;
        size_t size = 0;
    };

    void run();
    // Producer side: a free chunk to fill, or nullptr once the reader went away.
    Chunk *takeFree();
    void hand(Chunk *chunk);
    void finish(const std::string &error);
    static ssize_t readFile(struct archive *, void *self, const void **buffer);

    ZAVFd m_fd;
    std::unique_ptr<sha256_ctx> m_digest; // touched by the thread only
    std::vector<char> m_readBuffer; // thread only
    uint64_t m_bytesRead = 0;       // thread only
    bool m_readFailed = false;      // thread only
    std::string m_sha256;           // written by the thread before it finishes

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Chunk> m_chunks;
    std::vector<Chunk *> m_free;
    std::vector<Chunk *> m_filled; // in order
    Chunk *m_lent = nullptr;      // the chunk the caller holds
    bool m_done = false;
    bool m_cancelled = false;
    std::string m_error;

    std::thread m_thread;
};
