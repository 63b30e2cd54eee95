#include "ZAVVendorFiles.h"

#include "base/ZAVSha256.h"
#include "pkg/ZAVFileSystem.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::pair<std::string, std::string> split(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace

ZAVVendorFiles::Temporary::~Temporary()
{
    if (!m_committed && m_directory.valid() && !m_name.empty())
        unlinkat(m_directory.get(), m_name.c_str(), 0);
}

std::string ZAVVendorFiles::Temporary::path() const
{
    return m_directoryPath + '/' + m_name;
}

int ZAVVendorFiles::Temporary::commit(bool replace)
{
    if (fsync(m_fd.get()) != 0)
        return errno;
    m_fd.reset();
    const int result =
        replace ? renameat(m_directory.get(), m_name.c_str(), m_directory.get(),
                           m_finalName.c_str())
                : renameat2(m_directory.get(), m_name.c_str(), m_directory.get(),
                            m_finalName.c_str(), RENAME_NOREPLACE);
    if (result != 0)
        return errno;
    m_committed = true;
    fsync(m_directory.get());
    return 0;
}

int ZAVVendorFiles::createBeside(const std::string &finalPath, mode_t mode,
                                 Temporary *temporary)
{
    auto [directory, name] = split(finalPath);
    if (name.empty() || name == "." || name == "..")
        return EISDIR;
    Temporary made;
    made.m_directory.reset(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!made.m_directory.valid())
        return errno;
    made.m_directoryPath = directory;
    made.m_finalName = name;
    for (int attempt = 0; !made.m_fd.valid(); ++attempt) {
        made.m_name = ZAVFileSystem::randomName("." + name + ".zav-tmp-");
        made.m_fd.reset(openat(made.m_directory.get(), made.m_name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!made.m_fd.valid() && (errno != EEXIST || attempt > 8)) {
            made.m_name.clear();
            return errno;
        }
    }
    *temporary = std::move(made);
    return 0;
}

int ZAVVendorFiles::writeAtomically(const std::string &path, std::string_view data, mode_t mode,
                                    bool replace)
{
    Temporary temporary;
    if (const int error = createBeside(path, mode, &temporary))
        return error;
    if (const int error = ZAVFileSystem::writeAll(temporary.fd(), data.data(), data.size(), 0))
        return error;
    return temporary.commit(replace);
}

std::optional<std::string> ZAVVendorFiles::readFile(const std::string &path, size_t maxSize,
                                                    std::string *error)
{
    ZAVFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0) {
        *error = "cannot read " + path + ": " + errorText(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > maxSize) {
        *error = path + " is not a regular file of at most " + std::to_string(maxSize) +
                 " bytes";
        return std::nullopt;
    }
    std::string data(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = read(fd.get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = "cannot read " + path + ": " + (n < 0 ? errorText(errno) : "it shrank");
            return std::nullopt;
        }
        done += static_cast<size_t>(n);
    }
    return data;
}

std::string ZAVVendorFiles::makeScratchDirectory(const std::string &prefix)
{
    const char *tmpdir = std::getenv("TMPDIR");
    const bool usable = tmpdir && tmpdir[0] == '/' &&
                        QFile::encodeName(QFile::decodeName(tmpdir)) == QByteArray(tmpdir);
    std::string path = std::string(usable ? tmpdir : "/tmp") + '/' + prefix + "XXXXXX";
    return mkdtemp(path.data()) ? path : std::string();
}

void ZAVVendorFiles::removeScratchDirectory(const std::string &path)
{
    ZAVFileSystem::removeTree(AT_FDCWD, path);
}

int ZAVVendorFiles::digestFile(const std::string &path, std::string *sha256, uint64_t *size)
{
    ZAVFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return errno;
    ZAVSha256 digest;
    std::vector<char> buffer(1 << 20);
    *size = 0;
    for (;;) {
        const ssize_t n = read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        digest.update(buffer.data(), static_cast<size_t>(n));
        *size += static_cast<uint64_t>(n);
    }
    *sha256 = digest.hexDigest();
    return 0;
}

std::string ZAVVendorFiles::errorText(int error)
{
    return ZAVFileSystem::errorText(error);
}
