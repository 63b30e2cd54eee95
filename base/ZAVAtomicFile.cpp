#include "ZAVAtomicFile.h"

#include "ZAVFiles.h"
#include "ZAVRename.h"

#include <fcntl.h>

#include <cerrno>
#include <utility>

ZAVResult<ZAVAtomicFile> ZAVAtomicFile::create(int dirFd, const std::string &finalName, mode_t mode,
                                               const std::string &temporaryPrefix)
{
    if (finalName.empty() || finalName == "." || finalName == ".." ||
        finalName.find('/') != std::string::npos)
        return ZAVFileError{finalName, EINVAL, "not a file name"};
    ZAVAtomicFile file;
    file.m_directory.reset(fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    if (!file.m_directory.valid())
        return ZAVFileError::fromErrno(finalName);
    file.m_finalName = finalName;
    const std::string prefix =
        temporaryPrefix.empty() ? "." + finalName + ".zav-tmp-" : temporaryPrefix;
    for (int attempt = 0; !file.m_fd.valid(); ++attempt) {
        file.m_temporaryName = ZAVFiles::randomName(prefix);
        file.m_fd.reset(openat(file.m_directory.get(), file.m_temporaryName.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!file.m_fd.valid() && (errno != EEXIST || attempt > 8)) {
            const ZAVFileError error = ZAVFileError::fromErrno(finalName);
            file.m_temporaryName.clear();
            return error;
        }
    }
    return file;
}

ZAVResult<ZAVAtomicFile> ZAVAtomicFile::createBeside(const std::string &finalPath, mode_t mode)
{
    const size_t slash = finalPath.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string(".")
                                  : slash == 0               ? std::string("/")
                                                             : finalPath.substr(0, slash);
    const std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return ZAVFileError{finalPath, EISDIR, {}};
    ZAVFd folder(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        return ZAVFileError::fromErrno(finalPath);
    ZAVResult<ZAVAtomicFile> file = create(folder.get(), name, mode);
    if (!file)
        return ZAVFileError{finalPath, file.errorNumber(), file.error().reason};
    file->m_directoryPath = directory;
    return file;
}

ZAVStatus ZAVAtomicFile::write(int dirFd, const std::string &finalName, std::string_view data,
                               mode_t mode, Commit commit)
{
    ZAVResult<ZAVAtomicFile> file = create(dirFd, finalName, mode);
    if (!file)
        return file.status();
    if (ZAVStatus written = file->append(data); !written)
        return written;
    return file->commit(commit);
}

ZAVStatus ZAVAtomicFile::write(const std::string &finalPath, std::string_view data, mode_t mode,
                               Commit commit)
{
    ZAVResult<ZAVAtomicFile> file = createBeside(finalPath, mode);
    if (!file)
        return file.status();
    if (ZAVStatus written = file->append(data); !written)
        return ZAVFileError{finalPath, written.errorNumber(), {}};
    if (ZAVStatus committed = file->commit(commit); !committed)
        return ZAVFileError{finalPath, committed.errorNumber(), {}};
    return {};
}

ZAVAtomicFile::ZAVAtomicFile(ZAVAtomicFile &&other) noexcept
    : m_directory(std::move(other.m_directory)), m_fd(std::move(other.m_fd)),
      m_directoryPath(std::move(other.m_directoryPath)),
      m_temporaryName(std::exchange(other.m_temporaryName, std::string())),
      m_finalName(std::move(other.m_finalName)), m_size(other.m_size), m_flushed(other.m_flushed),
      m_committed(other.m_committed)
{
}

ZAVAtomicFile &ZAVAtomicFile::operator=(ZAVAtomicFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_directory = std::move(other.m_directory);
        m_fd = std::move(other.m_fd);
        m_directoryPath = std::move(other.m_directoryPath);
        m_temporaryName = std::exchange(other.m_temporaryName, std::string());
        m_finalName = std::move(other.m_finalName);
        m_size = other.m_size;
        m_flushed = other.m_flushed;
        m_committed = other.m_committed;
    }
    return *this;
}

ZAVAtomicFile::~ZAVAtomicFile()
{
    discard();
}

void ZAVAtomicFile::discard()
{
    m_fd.reset();
    if (!m_committed && m_directory.valid() && !m_temporaryName.empty())
        unlinkat(m_directory.get(), m_temporaryName.c_str(), 0);
    m_temporaryName.clear();
}

std::string ZAVAtomicFile::temporaryPath() const
{
    return m_directoryPath.empty() ? m_temporaryName : m_directoryPath + '/' + m_temporaryName;
}

ZAVFileError ZAVAtomicFile::failure(int error) const
{
    return {m_finalName, error, {}};
}

ZAVStatus ZAVAtomicFile::append(std::string_view data)
{
    if (!m_fd.valid())
        return failure(EBADF);
    if (ZAVStatus written = ZAVFiles::writeAll(m_fd.get(), data, m_size, m_finalName); !written)
        return written;
    m_size += static_cast<off_t>(data.size());
    m_flushed = false;
    return {};
}

ZAVStatus ZAVAtomicFile::copyFrom(int sourceFd)
{
    char buffer[1 << 16];
    for (off_t offset = 0;;) {
        const ssize_t n = pread(sourceFd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failure(errno);
        if (n == 0)
            return {};
        if (ZAVStatus written = append(std::string_view(buffer, static_cast<size_t>(n))); !written)
            return written;
        offset += n;
    }
}

ZAVStatus ZAVAtomicFile::flush()
{
    if (!m_fd.valid())
        return failure(EBADF);
    if (!m_flushed && fsync(m_fd.get()) != 0)
        return failure(errno);
    m_flushed = true;
    return {};
}

ZAVStatus ZAVAtomicFile::commit(Commit commit)
{
    if (ZAVStatus flushed = flush(); !flushed)
        return flushed;
    const ZAVStatus renamed =
        commit == Commit::Replace
            ? ZAVRename::replace(m_directory.get(), m_temporaryName, m_directory.get(), m_finalName)
            : ZAVRename::noReplace(m_directory.get(), m_temporaryName, m_directory.get(),
                                   m_finalName);
    if (!renamed)
        return failure(renamed.errorNumber());
    m_committed = true;
    m_fd.reset();
    fsync(m_directory.get());
    return {};
}
