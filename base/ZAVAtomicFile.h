#pragma once

#include "ZAVFd.h"
#include "ZAVResult.h"

#include <sys/types.h>

#include <string>
#include <string_view>

// The one way a file somebody keeps is written: a new temporary file beside the final name
// (O_CREAT|O_EXCL|O_NOFOLLOW, mode less the umask), written, flushed to disk, then renamed over
// the final name and the directory flushed, so a reader sees the old file or the whole new one
// and a crash leaves no half-written file under the final name. Until commit() succeeds the
// temporary file is removed when the object goes; the final name is untouched. Move-only; one
// thread at a time.
class ZAVAtomicFile {
public:
    enum class Commit {
        Replace,   // an existing file at the final name is replaced
        NoReplace, // an existing one stays, and commit() fails with EEXIST
    };

    // Creates the temporary file beside `finalName` inside `dirFd` (which is duplicated, so the
    // caller may close it). The temporary name is `temporaryPrefix` and 16 random hex digits;
    // without a prefix, "." + finalName + ".zav-tmp-". `finalName` is one component.
    static ZAVResult<ZAVAtomicFile> create(int dirFd, const std::string &finalName, mode_t mode,
                                           const std::string &temporaryPrefix = {});
    // As create, for a path: its folder is opened as given (links in it are followed, as the
    // caller named it), the temporary file is made there.
    static ZAVResult<ZAVAtomicFile> createBeside(const std::string &finalPath, mode_t mode);

    // The whole of a small file in one go: create, write, commit.
    static ZAVStatus write(int dirFd, const std::string &finalName, std::string_view data,
                           mode_t mode, Commit commit = Commit::Replace);
    static ZAVStatus write(const std::string &finalPath, std::string_view data, mode_t mode,
                           Commit commit = Commit::Replace);

    ZAVAtomicFile(ZAVAtomicFile &&other) noexcept;
    ZAVAtomicFile &operator=(ZAVAtomicFile &&other) noexcept;
    ZAVAtomicFile(const ZAVAtomicFile &) = delete;
    ZAVAtomicFile &operator=(const ZAVAtomicFile &) = delete;
    ~ZAVAtomicFile();

    // The temporary file, open for writing (others may write to it directly, as libarchive
    // does); -1 once committed.
    int fd() const { return m_fd.get(); }
    const std::string &temporaryName() const { return m_temporaryName; }
    // The temporary file's path: beside the final path for createBeside, else relative to the
    // directory descriptor.
    std::string temporaryPath() const;
    const std::string &finalName() const { return m_finalName; }
    // The directory the file is made in (owned by this object).
    int directoryFd() const { return m_directory.get(); }

    // Appends `data` after what was written through append or copyFrom.
    ZAVStatus append(std::string_view data);
    // Appends everything `sourceFd` reads from its start.
    ZAVStatus copyFrom(int sourceFd);
    // Flushes the file's data to disk; commit() does so too.
    ZAVStatus flush();
    // Flushes, renames the temporary file to the final name, flushes the directory. On failure
    // the temporary file is still there (and removed when the object goes).
    ZAVStatus commit(Commit commit = Commit::Replace);

private:
    ZAVAtomicFile() = default;
    ZAVFileError failure(int error) const;
    void discard();

    ZAVFd m_directory;
    ZAVFd m_fd;
    std::string m_directoryPath; // for createBeside: the folder as given
    std::string m_temporaryName;
    std::string m_finalName;
    off_t m_size = 0;
    bool m_flushed = false;
    bool m_committed = false;
};
