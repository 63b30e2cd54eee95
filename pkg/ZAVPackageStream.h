#pragma once

#include "base/ZAVFd.h"
#include "base/ZAVSha256.h"

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The uncompressed bytes of a package, produced on a thread of its own: it reads the package
// file once, computes its SHA-256 on the way, and undoes the compression (gzip, bzip2, xz or
// zstd, told from the content; none passes through) to the end of the compressed data, so that
// the checks each compression carries (gzip's CRC-32 and length, bzip2's CRCs, xz's check,
// zstd's checksum where the frame has one) are verified: a mismatch is an error. The caller
// reads the result in chunks while the next ones are being decompressed, as tar reads from gzip
// through a pipe. At most kChunks chunks of kChunkSize bytes are in flight, whatever the
// package's size.
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
    // The two decoders: each fills chunks until its compressed data ends, and returns an
    // error message or nothing. Both start with the m_pending bytes of m_readBuffer.
    std::string inflateGzip();
    std::string decompressOther();
    // Producer side: a free chunk to fill, or nullptr once the reader went away.
    Chunk *takeFree();
    void hand(Chunk *chunk);
    // The free space of the chunk being filled (nullptr once the reader went away), then how
    // much of it was filled; handPartial() hands over a chunk filled in part.
    char *outputSpace(size_t *size);
    void produced(size_t size);
    void handPartial();
    void finish(const std::string &error);
    // Reads from the file into `into` and digests it: the byte count, 0 at its end, -1 with
    // m_readError set.
    ssize_t readRaw(char *into, size_t size);
    static ssize_t readFile(struct archive *, void *self, const void **buffer);

    ZAVFd m_fd;
    ZAVSha256 m_digest;             // touched by the thread only
    std::vector<char> m_readBuffer; // thread only
    size_t m_pending = 0;           // thread only: bytes of m_readBuffer not yet decoded
    uint64_t m_bytesRead = 0;       // thread only
    bool m_readFailed = false;      // thread only
    std::string m_readError;        // thread only
    Chunk *m_filling = nullptr;     // thread only
    std::string m_sha256;           // written by the thread before it finishes

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Chunk> m_chunks;
    std::vector<Chunk *> m_free;
    std::vector<Chunk *> m_filled; // in order
    Chunk *m_lent = nullptr;       // the chunk the caller holds
    bool m_done = false;
    bool m_cancelled = false;
    std::string m_error;

    std::thread m_thread;
};
