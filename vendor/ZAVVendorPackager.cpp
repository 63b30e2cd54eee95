#include "ZAVVendorPackager.h"

#include "ZAVVendorFiles.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVFd.h"
#include "base/ZAVFiles.h"
#include "pkg/ZAVPkgLog.h"
#include "base/ZAVUserAppLayout.h"

#include <QDir>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ArchiveFree {
    void operator()(archive *a) const { archive_write_free(a); }
    void operator()(archive_entry *entry) const { archive_entry_free(entry); }
};

long long sourceDateEpoch()
{
    const char *value = std::getenv("SOURCE_DATE_EPOCH");
    if (!value || !*value)
        return 0;
    char *end = nullptr;
    const long long epoch = std::strtoll(value, &end, 10);
    return *end == '\0' && epoch >= 0 ? epoch : 0;
}

bool writeContents(archive *a, const std::string &path, uint64_t size, std::string *error)
{
    ZAVFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) {
        *error = "cannot read " + path + ": " + ZAVFiles::errorText(errno);
        return false;
    }
    std::vector<char> buffer(1 << 16);
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd.get(), buffer.data(),
                               static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = "cannot read " + path + ": " +
                     (n < 0 ? ZAVFiles::errorText(errno) : "it shrank while being packed");
            return false;
        }
        if (archive_write_data(a, buffer.data(), static_cast<size_t>(n)) != n) {
            *error = std::string("cannot write the package: ") + archive_error_string(a);
            return false;
        }
        done += static_cast<uint64_t>(n);
    }
    return true;
}

} // namespace

bool ZAVVendorPackager::check(const std::string &package, Result *result, std::string *error,
                              const ZAVPackageInstaller::Expected &expected)
{
    if (access(package.c_str(), R_OK) != 0) {
        *error = "cannot read " + package + ": " + ZAVFiles::errorText(errno);
        return false;
    }
    const std::string home = ZAVVendorFiles::makeScratchDirectory("zav-vendor-check-");
    if (home.empty()) {
        *error = "cannot make a throw-away home to check the package in: " +
                 ZAVFiles::errorText(errno);
        return false;
    }
    ZAVPkgLog log(false, false);
    ZAVPackageInstaller::Options options;
    options.expected = expected;
    const ZAVPkgResult refusal = ZAVPackageInstaller::install(package, home, options, log);
    QStringList receipts;
    if (!refusal) {
        const auto layout = ZAVUserAppLayout::forApplication("zav.check", home);
        receipts = QDir(QFile::decodeName(QByteArray::fromStdString(layout->receiptsDirectory())))
                       .entryList({QStringLiteral("*.json")}, QDir::Files);
    }
    ZAVVendorFiles::removeScratchDirectory(home);

    if (refusal) {
        *error = (refusal->kind == ZAVPkgError::Kind::Failed
                      ? "the package could not be checked: "
                      : "zav-pkg would refuse this package: ") +
                 refusal->message;
        return false;
    }
    if (receipts.size() != 1) {
        *error = "the package could not be checked: zav-pkg left no single receipt";
        return false;
    }
    result->applicationId = receipts.front().chopped(5).toStdString();
    if (!expected.sha256.empty() && expected.size >= 0) {
        result->sha256 = expected.sha256;
        result->size = static_cast<uint64_t>(expected.size);
        return true;
    }
    if (const ZAVStatus read = ZAVVendorFiles::digestFile(package, &result->sha256, &result->size);
        !read) {
        *error = "cannot read " + package + ": " + read.error().reasonText();
        return false;
    }
    return true;
}

bool ZAVVendorPackager::pack(const std::string &appDir, const std::string &output,
                             Result *result, std::string *error)
{
    std::unique_ptr<archive, ArchiveFree> writer(archive_write_new());
    archive *a = writer.get();
    archive_write_set_format_pax_restricted(a);
    if (output.ends_with(".tar.gz") || output.ends_with(".tgz")) {
        archive_write_add_filter_gzip(a);
        archive_write_set_filter_option(a, "gzip", "timestamp", nullptr);
    } else if (output.ends_with(".tar.zst") || output.ends_with(".tzst")) {
        archive_write_add_filter_zstd(a);
    } else {
        *error = "name the package FILE.tar.gz (gzip) or FILE.tar.zst (zstd)";
        return false;
    }

    std::error_code failure;
    const fs::path root(appDir);
    if (!fs::is_directory(fs::symlink_status(root, failure))) {
        *error = appDir + " is not a directory";
        return false;
    }
    std::vector<std::string> paths;
    for (fs::recursive_directory_iterator it(root, failure), end; !failure && it != end;
         it.increment(failure))
        paths.push_back(it->path().lexically_relative(root).native());
    if (failure) {
        *error = "cannot read " + appDir + ": " + failure.message();
        return false;
    }
    std::sort(paths.begin(), paths.end());

    ZAVResult<ZAVAtomicFile> temporary = ZAVAtomicFile::createBeside(output, 0644);
    if (!temporary) {
        *error = "cannot create " + output + ": " + temporary.error().reasonText();
        return false;
    }
    if (archive_write_open_fd(a, temporary->fd()) != ARCHIVE_OK) {
        *error = std::string("cannot write the package: ") + archive_error_string(a);
        return false;
    }
    const long long epoch = sourceDateEpoch();
    for (const std::string &relative : paths) {
        const std::string path = appDir + '/' + relative;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) {
            *error = "cannot read " + path + ": " + ZAVFiles::errorText(errno);
            return false;
        }
        std::unique_ptr<archive_entry, ArchiveFree> entry(archive_entry_new());
        archive_entry_set_pathname(entry.get(), relative.c_str());
        archive_entry_set_filetype(entry.get(), st.st_mode & S_IFMT);
        archive_entry_set_perm(entry.get(), st.st_mode & 07777);
        archive_entry_set_uid(entry.get(), 0);
        archive_entry_set_gid(entry.get(), 0);
        archive_entry_set_mtime(entry.get(), epoch, 0);
        const uint64_t size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
        if (S_ISLNK(st.st_mode)) {
            std::error_code linkFailure;
            const fs::path target = fs::read_symlink(path, linkFailure);
            if (linkFailure) {
                *error = "cannot read the link " + path + ": " + linkFailure.message();
                return false;
            }
            archive_entry_set_symlink(entry.get(), target.c_str());
        }
        // Other kinds (devices, FIFOs) go in as they are: the check below refuses them with
        // zav-pkg's own words.
        if (archive_write_header(a, entry.get()) != ARCHIVE_OK) {
            *error = "cannot add " + ZAVQuoted(relative) + " to the package: " +
                     archive_error_string(a);
            return false;
        }
        if (size > 0 && !writeContents(a, path, size, error))
            return false;
    }
    if (archive_write_close(a) != ARCHIVE_OK) {
        *error = std::string("cannot write the package: ") + archive_error_string(a);
        return false;
    }
    if (!check(temporary->temporaryPath(), result, error))
        return false;
    if (const ZAVStatus committed = temporary->commit(); !committed) {
        *error = "cannot write " + output + ": " + committed.error().reasonText();
        return false;
    }
    return true;
}
