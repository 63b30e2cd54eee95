#pragma once

#include "base/ZAVFd.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The files zav-vendor reads and writes. Paths are the bytes given on the command line, passed
// to the system unchanged. Every file is written atomically: a new temporary file beside the
// final name (O_CREAT|O_EXCL), flushed to disk, then renamed over it, so a reader sees the old
// file or the whole new one. Failures are errno values (0 for success). Any thread.
class ZAVVendorFiles {
public:
    // A temporary file beside `finalPath`, open for writing; removed again by its destructor
    // unless commit() renamed it into place.
    class Temporary {
    public:
        Temporary() = default;
        Temporary(Temporary &&) = default;
        Temporary &operator=(Temporary &&) = default;
        ~Temporary();

        int fd() const { return m_fd.get(); }
        // The temporary file's own path, for reading it back before it is committed.
        std::string path() const;
        // Flushes the file and renames it to the final path. Without `replace` an existing
        // file at the final path is left alone and EEXIST comes back.
        int commit(bool replace);

    private:
        friend class ZAVVendorFiles;
        ZAVFd m_directory;
        ZAVFd m_fd;
        std::string m_directoryPath;
        std::string m_name;
        std::string m_finalName;
        bool m_committed = false;
    };

    static int createBeside(const std::string &finalPath, mode_t mode, Temporary *temporary);
    static int writeAtomically(const std::string &path, std::string_view data, mode_t mode,
                               bool replace = true);

    // The whole file when it is a regular file of at most `maxSize` bytes.
    static std::optional<std::string> readFile(const std::string &path, size_t maxSize,
                                               std::string *error);

    // A new private directory (mode 0700) named <prefix>XXXXXX in $TMPDIR (when its name reads
    // back unchanged as text) or /tmp, for throw-away work; empty with errno set on failure.
    // The caller removes it (removeScratchDirectory).
    static std::string makeScratchDirectory(const std::string &prefix);
    static void removeScratchDirectory(const std::string &path);

    // SHA-256 (64 lowercase hex digits) and size of the file, read once in bounded chunks.
    static int digestFile(const std::string &path, std::string *sha256, uint64_t *size);

    static std::string errorText(int error);
};
