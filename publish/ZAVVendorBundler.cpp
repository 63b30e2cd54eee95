#include "ZAVVendorBundler.h"

#include "ZAVVendorFiles.h"
#include "ZAVVendorStamp.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVFd.h"
#include "base/ZAVFileReader.h"
#include "base/ZAVSha256.h"

#include <archive.h>
#include <archive_entry.h>
#include <zstd.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <vector>

// The stub's text, compiled in from bundle/stub.sh (publish/CMakeLists.txt).
extern const char kZAVRunStub[];
extern const size_t kZAVRunStubSize;

namespace {

constexpr char kInstallerPath[] = "libexec/zav-installer";
// What the .run unpacks first, gzip'd: its decompressor and what that runs on (as
// scripts/lib/bundle.sh's ZAV_BUNDLE_HEAD).
constexpr const char *kHeadPaths[] = {"bin/ld-linux-x86-64.so.2", "lib/libc.so.6",
                                      "lib/libzstd.so.1", "bin/zav-unzstd"};
constexpr int kZstdLevel = 19;
constexpr size_t kMaximumInstallerSize = size_t(1) << 30;

// One thing in the installer folder: its path there ("" for the folder itself), its status and,
// for the installer, the stamped bytes that stand in for the file's.
struct Item {
    std::string path;
    struct stat status {};
    const std::string *contents = nullptr;
};

// Whether the .run carries `item` in its halves: every file but the head's and the installer.
bool inHalves(const Item &item)
{
    return !S_ISDIR(item.status.st_mode) && item.path != kInstallerPath &&
           std::find(std::begin(kHeadPaths), std::end(kHeadPaths), item.path) ==
               std::end(kHeadPaths);
}

ZAVFileError sentence(std::string text, int error = EINVAL)
{
    return ZAVVendorFiles::sentence(error, std::move(text));
}

std::string systemError(const std::string &what, int error)
{
    return what + ": " + std::strerror(error);
}

// Every item beneath `root` (links not followed), the folder itself first.
ZAVResult<std::vector<Item>> listFolder(const std::string &root)
{
    std::vector<Item> items(1);
    if (lstat(root.c_str(), &items[0].status) != 0 || !S_ISDIR(items[0].status.st_mode))
        return sentence("the installer folder " + root + " is not a folder");
    std::error_code error;
    std::filesystem::recursive_directory_iterator it(root, error), end;
    for (; !error && it != end; it.increment(error)) {
        Item item;
        item.path = it->path().native().substr(root.size() + 1);
        if (lstat(it->path().c_str(), &item.status) != 0)
            return sentence(systemError(it->path().native(), errno), errno);
        const mode_t type = item.status.st_mode & S_IFMT;
        if (type != S_IFREG && type != S_IFDIR && type != S_IFLNK)
            return sentence(it->path().native() + " is neither a file, a folder nor a link");
        // Folder names go into the stub one a line.
        if (item.path.find('\n') != std::string::npos)
            return sentence("a name in the installer folder holds a line break");
        items.push_back(std::move(item));
    }
    if (error)
        return sentence(systemError(root, error.value()), error.value());
    std::sort(items.begin(), items.end(),
              [](const Item &a, const Item &b) { return a.path < b.path; });
    return items;
}

// Where an archive's output goes: appended to a string, through zstd (level 19, with the
// checksum the stub's decompressor checks) when `zstd` is set.
struct Sink {
    std::string *output = nullptr;
    ZSTD_CCtx *zstd = nullptr;
};

bool compress(Sink &sink, const void *data, size_t size, ZSTD_EndDirective mode)
{
    ZSTD_inBuffer in = {data, size, 0};
    std::vector<char> chunk(ZSTD_CStreamOutSize());
    for (;;) {
        ZSTD_outBuffer out = {chunk.data(), chunk.size(), 0};
        const size_t left = ZSTD_compressStream2(sink.zstd, &out, &in, mode);
        if (ZSTD_isError(left))
            return false;
        sink.output->append(chunk.data(), out.pos);
        if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size)
            return true;
    }
}

la_ssize_t writeOutput(struct archive *archive, void *target, const void *data, size_t size)
{
    Sink &sink = *static_cast<Sink *>(target);
    if (!sink.zstd) {
        sink.output->append(static_cast<const char *>(data), size);
    } else if (!compress(sink, data, size, ZSTD_e_continue)) {
        archive_set_error(archive, EIO, "zstd cannot compress");
        return -1;
    }
    return la_ssize_t(size);
}

int closeOutput(struct archive *archive, void *target)
{
    Sink &sink = *static_cast<Sink *>(target);
    if (sink.zstd && !compress(sink, nullptr, 0, ZSTD_e_end)) {
        archive_set_error(archive, EIO, "zstd cannot finish");
        return ARCHIVE_FATAL;
    }
    return ARCHIVE_OK;
}

struct ZstdFree {
    void operator()(ZSTD_CCtx *context) const { ZSTD_freeCCtx(context); }
};

struct ArchiveFree {
    void operator()(struct archive *archive) const { archive_write_free(archive); }
};
struct EntryFree {
    void operator()(archive_entry *entry) const { archive_entry_free(entry); }
};

std::string archiveError(struct archive *archive, const std::string &what)
{
    const char *text = archive_error_string(archive);
    return what + ": " + (text ? text : "the archive cannot be written");
}

enum class Compression { Gzip, Zstd };

// A tar of `items`, in order, named relative to the folder (the folder itself as "."), gzip'd
// or zstd'd.
std::string packPart(const std::string &root, const std::vector<const Item *> &items,
                     Compression compression, std::string *output)
{
    Sink sink{output, nullptr};
    std::unique_ptr<ZSTD_CCtx, ZstdFree> zstd;
    if (compression == Compression::Zstd) {
        zstd.reset(ZSTD_createCCtx());
        if (!zstd ||
            ZSTD_isError(ZSTD_CCtx_setParameter(zstd.get(), ZSTD_c_compressionLevel, kZstdLevel)) ||
            ZSTD_isError(ZSTD_CCtx_setParameter(zstd.get(), ZSTD_c_checksumFlag, 1)))
            return "zstd cannot start";
        sink.zstd = zstd.get();
    }
    std::unique_ptr<struct archive, ArchiveFree> archive(archive_write_new());
    struct archive *a = archive.get();
    if (archive_write_set_format_gnutar(a) != ARCHIVE_OK ||
        (compression == Compression::Gzip &&
         (archive_write_add_filter_gzip(a) != ARCHIVE_OK ||
          archive_write_set_filter_option(a, "gzip", "compression-level", "9") != ARCHIVE_OK ||
          archive_write_set_filter_option(a, "gzip", "timestamp", nullptr) != ARCHIVE_OK)) ||
        // No zeros after the compressed stream: the stub reads each part by its length.
        archive_write_set_bytes_in_last_block(a, 1) != ARCHIVE_OK ||
        archive_write_open2(a, &sink, nullptr, writeOutput, closeOutput, nullptr) != ARCHIVE_OK)
        return archiveError(a, "cannot start the archive");
    std::vector<char> buffer(size_t(1) << 20);
    for (const Item *item : items) {
        const std::string source = item->path.empty() ? root : root + "/" + item->path;
        const std::string entryName = item->path.empty() ? "." : item->path;
        std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
        archive_entry_copy_pathname(entry.get(), entryName.c_str());
        archive_entry_set_mode(entry.get(), item->status.st_mode);
        archive_entry_set_uid(entry.get(), 0);
        archive_entry_set_gid(entry.get(), 0);
        archive_entry_set_mtime(entry.get(), item->status.st_mtim.tv_sec, 0);
        ZAVFd fd;
        if (S_ISLNK(item->status.st_mode)) {
            std::vector<char> target(PATH_MAX + 1);
            const ssize_t length = readlink(source.c_str(), target.data(), PATH_MAX);
            if (length < 0)
                return systemError(source, errno);
            archive_entry_copy_symlink(entry.get(),
                                       std::string(target.data(), size_t(length)).c_str());
        } else if (S_ISREG(item->status.st_mode)) {
            archive_entry_set_size(entry.get(), item->contents ? la_int64_t(item->contents->size())
                                                               : la_int64_t(item->status.st_size));
            if (!item->contents) {
                fd = ZAVFd(open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
                if (!fd.valid())
                    return systemError(source, errno);
            }
        }
        if (archive_write_header(a, entry.get()) != ARCHIVE_OK)
            return archiveError(a, entryName);
        if (item->contents) {
            if (archive_write_data(a, item->contents->data(), item->contents->size()) !=
                la_ssize_t(item->contents->size()))
                return archiveError(a, entryName);
        } else if (fd.valid()) {
            // Exactly the size the header states: a file that changes meanwhile is an error.
            off_t left = item->status.st_size;
            while (left > 0) {
                const ssize_t got = read(fd.get(), buffer.data(),
                                         size_t(std::min<off_t>(left, off_t(buffer.size()))));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return got < 0 ? systemError(source, errno) : source + " shrank while packed";
                if (archive_write_data(a, buffer.data(), size_t(got)) != got)
                    return archiveError(a, entryName);
                left -= got;
            }
        }
    }
    if (archive_write_close(a) != ARCHIVE_OK)
        return archiveError(a, "cannot finish the archive");
    return {};
}

// Replaces the first `placeholder` in `text` (every one with `all`).
void fill(std::string &text, std::string_view placeholder, const std::string &value,
          bool all = false)
{
    for (size_t at = text.find(placeholder); at != std::string::npos;
         at = all ? text.find(placeholder, at + value.size()) : std::string::npos)
        text.replace(at, placeholder.size(), value);
}

// One of the halves made when the kit was (scripts/lib/bundle.sh's zav_bundle_parts).
struct Part {
    std::string path;
    uint64_t size = 0;
    std::string sha256;
};

// The halves in `folder` (<installer folder>.parts) and the size and path of every file they
// hold, as its `parts` file names them.
struct Parts {
    Part first, second;
    std::vector<std::pair<std::string, uint64_t>> files; // sorted by path
};

bool readNumber(std::string_view text, uint64_t *value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Parts::files must be the folder's files but the head's and the installer, with their sizes:
// halves made of another folder, or a folder changed since, are refused.
ZAVResult<Parts> readParts(const std::string &folder, const std::vector<Item> &items)
{
    const auto damaged = [&](const std::string &what) {
        return sentence("the installer's parts in " + folder + " are damaged (" + what +
                        "); unpack the tool kit again");
    };
    ZAVResult<std::string> text =
        ZAVFileReader::read(folder + "/parts", size_t(64) << 20, ZAVFileReader::Links::Refuse);
    if (!text)
        return damaged(text.error().message());
    Parts parts;
    std::string_view rest = *text;
    size_t line = 0;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos)
            return damaged("its last line is cut");
        const std::string_view current = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        const size_t space = current.find(' ');
        if (space == std::string_view::npos)
            return damaged("line " + std::to_string(line + 1) + " is not understood");
        const std::string_view word = current.substr(0, space), after = current.substr(space + 1);
        if (line == 0) {
            if (current != "zav-installer-parts 1")
                return damaged("not a parts file of this version");
        } else if (line <= 2) {
            Part &part = line == 1 ? parts.first : parts.second;
            const size_t gap = after.find(' ');
            if (word != (line == 1 ? "first" : "second") || gap == std::string_view::npos ||
                !readNumber(after.substr(0, gap), &part.size) || after.size() - gap - 1 != 64)
                return damaged("line " + std::to_string(line + 1) + " is not understood");
            part.path = folder + "/" + std::string(word) + ".tar.zst";
            part.sha256 = std::string(after.substr(gap + 1));
        } else {
            uint64_t size = 0;
            if (!readNumber(word, &size) || after.empty())
                return damaged("line " + std::to_string(line + 1) + " is not understood");
            parts.files.emplace_back(std::string(after), size);
        }
        ++line;
    }
    if (line < 3)
        return damaged("it is cut short");
    std::vector<std::pair<std::string, uint64_t>> expected;
    for (const Item &item : items) {
        if (inHalves(item))
            expected.emplace_back(item.path, uint64_t(item.status.st_size));
    }
    if (expected != parts.files)
        return sentence("the installer folder does not match its parts in " + folder +
                        " (a file was added, removed or changed since the kit was made); "
                        "unpack the tool kit again");
    for (const Part *part : {&parts.first, &parts.second}) {
        struct stat status;
        if (lstat(part->path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
            uint64_t(status.st_size) != part->size)
            return damaged(part->path + " is missing or not " + std::to_string(part->size) +
                           " bytes");
    }
    return parts;
}

// Appends the part to `file`, checking its digest on the way: false with `error` set when it
// cannot be read or written, or is not the part its parts file names.
bool appendPart(ZAVAtomicFile &file, const Part &part, const std::string &output,
                std::string *error)
{
    ZAVSha256 digest;
    uint64_t size = 0;
    ZAVStatus written;
    const ZAVStatus read = ZAVFileReader::stream(part.path, [&](const char *data, size_t bytes) {
        digest.update(data, bytes);
        size += bytes;
        if (written)
            written = file.append(std::string_view(data, bytes));
    });
    if (!read)
        *error = "cannot read " + read.error().message();
    else if (!written)
        *error = "cannot write " + output + ": " + written.error().reasonText();
    else if (size != part.size || digest.hexDigest() != part.sha256)
        *error = "the installer's part " + part.path +
                 " is damaged (its size or SHA-256 is not the one recorded); unpack the tool "
                 "kit again";
    return error->empty();
}

} // namespace

bool ZAVVendorBundler::isPlainName(std::string_view name)
{
    const auto plain = [](char c, bool first) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               (!first && (c == '.' || c == '_' || c == '-'));
    };
    if (name.empty() || name.size() > 64)
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (!plain(name[i], i == 0))
            return false;
    }
    return true;
}

std::string ZAVVendorBundler::kitInstallerFolder()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    for (const std::filesystem::path &folder :
         {program.parent_path() / "installer", program.parent_path().parent_path() / "installer"}) {
        struct stat status;
        if (stat((folder / kInstallerPath).c_str(), &status) == 0 && S_ISREG(status.st_mode))
            return folder.native();
    }
    return {};
}

ZAVResult<std::string> ZAVVendorBundler::bundle(const Options &options)
{
    if (!isPlainName(options.name))
        return sentence("the name " + options.name +
                        " is refused: use only letters, digits, '.', "
                        "'_' and '-', starting with a letter or digit, at most 64 characters");
    std::string root = options.installerFolder;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    ZAVResult<std::vector<Item>> listed = listFolder(root);
    if (!listed)
        return listed.error();
    std::vector<Item> &items = *listed;

    // The stamp first: a folder that is no installer's fails before anything is packed.
    const std::string installerPath = root + "/" + kInstallerPath;
    ZAVResult<std::string> installer =
        ZAVFileReader::read(installerPath, kMaximumInstallerSize, ZAVFileReader::Links::Refuse);
    if (!installer)
        return sentence("the installer folder " + root +
                            " holds no installer: " + installer.error().message(),
                        installer.errorNumber());
    if (const ZAVStatus stamped = ZAVVendorStamp::stampImage(*installer, options.stamp); !stamped)
        return sentence(installerPath + " cannot be stamped: " + stamped.error().message());
    for (Item &item : items) {
        if (item.path == kInstallerPath) {
            item.contents = &*installer;
            item.status.st_size = off_t(installer->size());
        }
    }

    // The head, as zav_bundle_pack makes it: the folders, the decompressor with what it runs
    // on, and the stamped installer. The halves hold the other files: made when the kit was
    // (<folder>.parts), else packed here.
    std::vector<const Item *> files, first, second, folders, head;
    off_t firstSize = 0, secondSize = 0, blocks = 0;
    for (const Item &item : items) {
        blocks += item.status.st_blocks;
        if (S_ISDIR(item.status.st_mode))
            folders.push_back(&item);
        else if (inHalves(item))
            files.push_back(&item);
    }
    head = folders;
    for (const char *path : kHeadPaths) {
        const auto found = std::find_if(items.begin(), items.end(), [&](const Item &item) {
            return item.path == path && S_ISREG(item.status.st_mode);
        });
        if (found == items.end())
            return sentence("the installer folder " + root + " lacks " + path);
        head.push_back(&*found);
    }
    for (const Item &item : items) {
        if (item.path == kInstallerPath)
            head.push_back(&item);
    }
    std::string folderLines;
    for (const Item *folder : folders)
        folderLines += (folderLines.empty() ? "" : "\n") + options.name +
                       (folder->path.empty() ? "" : "/" + folder->path);

    const std::string partsFolder = root + ".parts";
    struct stat partsStatus;
    const bool made = lstat(partsFolder.c_str(), &partsStatus) == 0;
    if (!made && errno != ENOENT)
        return sentence(systemError(partsFolder, errno), errno);
    Parts parts;
    std::string headArchive, firstArchive, secondArchive;
    if (made) {
        ZAVResult<Parts> read = readParts(partsFolder, items);
        if (!read)
            return read.error();
        parts = std::move(*read);
        if (const std::string error = packPart(root, head, Compression::Gzip, &headArchive);
            !error.empty())
            return sentence(error, EIO);
    } else {
        std::stable_sort(files.begin(), files.end(), [](const Item *a, const Item *b) {
            return a->status.st_size > b->status.st_size;
        });
        for (const Item *item : files) {
            const bool toFirst = firstSize <= secondSize;
            (toFirst ? first : second).push_back(item);
            (toFirst ? firstSize : secondSize) += item->status.st_size;
        }
        auto other = std::async(std::launch::async, [&] {
            return packPart(root, second, Compression::Zstd, &secondArchive);
        });
        std::string error = packPart(root, head, Compression::Gzip, &headArchive);
        if (error.empty())
            error = packPart(root, first, Compression::Zstd, &firstArchive);
        const std::string secondError = other.get();
        if (!error.empty() || !secondError.empty())
            return sentence(error.empty() ? secondError : error, EIO);
        parts.first.size = firstArchive.size();
    }

    // The room the stub asks for, in kilobytes: the folder's blocks and an eighth more.
    const long long room = (blocks + 1) / 2 + (blocks + 1) / 2 / 8 + 256;
    std::string stubTemplate(kZAVRunStub, kZAVRunStubSize);
    while (!stubTemplate.empty() && stubTemplate.back() == '\n')
        stubTemplate.pop_back();
    // The stub names the byte at which the archives start; its own length depends on that
    // number's digits, so repeat until the two agree.
    std::string stub;
    for (size_t offset = 1;;) {
        stub = stubTemplate;
        fill(stub, "@NAME@", options.name, true);
        fill(stub, "@OFFSET@", std::to_string(offset));
        fill(stub, "@HEAD@", std::to_string(headArchive.size()));
        fill(stub, "@LENGTH@", std::to_string(parts.first.size));
        fill(stub, "@ROOM@", std::to_string(room));
        fill(stub, "@FOLDERS@", folderLines);
        stub += '\n';
        if (stub.size() + 1 == offset)
            break;
        offset = stub.size() + 1;
    }

    if (mkdir(options.outputFolder.c_str(), 0755) != 0 && errno != EEXIST)
        return sentence("cannot make " + systemError(options.outputFolder, errno), errno);
    const std::string output = options.outputFolder + "/" + options.name + "-x86_64.run";
    ZAVResult<ZAVAtomicFile> file = ZAVAtomicFile::createBeside(output, 0755);
    if (!file)
        return sentence("cannot write " + file.error().message(), file.errorNumber());
    for (const std::string *part : {&stub, &headArchive, &firstArchive, &secondArchive}) {
        if (const ZAVStatus written = file->append(*part); !written)
            return sentence("cannot write " + output + ": " + written.error().reasonText(),
                            written.errorNumber());
    }
    // The halves made with the kit, checked as they are copied: a damaged one leaves no .run.
    for (const Part *part : {&parts.first, &parts.second}) {
        std::string error;
        if (made && !appendPart(*file, *part, output, &error))
            return sentence(error, EIO);
    }
    if (const ZAVStatus committed = file->commit(); !committed)
        return sentence("cannot write " + output + ": " + committed.error().reasonText(),
                        committed.errorNumber());
    return output;
}
