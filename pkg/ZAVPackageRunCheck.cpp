#include "ZAVPackageRunCheck.h"

#include "ZAVPkgLog.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVEscaped.h"
#include "base/ZAVFd.h"
#include "base/ZAVFiles.h"

#include <elf.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr auto kTimeLimit = std::chrono::seconds(10);
constexpr size_t kOutputLimit = 64 * 1024;
// What the kernel reads of a "#!" line.
constexpr size_t kScriptLineLimit = 256;
constexpr size_t kInterpreterLimit = 4096;

// The C library's loader of each machine, at the fixed path the system keeps it at.
struct Loader {
    uint16_t machine;
    unsigned char elfClass;
    const char *path;
};
constexpr Loader kLoaders[] = {
    {EM_X86_64, ELFCLASS64, "/lib64/ld-linux-x86-64.so.2"},
    {EM_X86_64, ELFCLASS32, "/libx32/ld-linux-x32.so.2"},
    {EM_386, ELFCLASS32, "/lib/ld-linux.so.2"},
    {EM_AARCH64, ELFCLASS64, "/lib/ld-linux-aarch64.so.1"},
    {EM_ARM, ELFCLASS32, "/lib/ld-linux-armhf.so.3"},
    {EM_ARM, ELFCLASS32, "/lib/ld-linux.so.3"},
    {EM_PPC64, ELFCLASS64, "/lib64/ld64.so.2"},
    {EM_S390, ELFCLASS64, "/lib/ld64.so.1"},
    {EM_RISCV, ELFCLASS64, "/lib/ld-linux-riscv64-lp64d.so.1"},
};

// What the program's first bytes say it is.
struct Program {
    enum class Type { Elf, Script, Other };
    Type type = Type::Other;
    std::string interpreter; // PT_INTERP (empty: a static program), or the script's
    std::string argument;    // the script's one optional argument
    uint16_t machine = 0;
    unsigned char elfClass = 0;
};

std::string readAt(int fd, uint64_t offset, size_t size)
{
    std::string bytes(size, '\0');
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, bytes.data() + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    bytes.resize(done);
    return bytes;
}

// An unsigned field of `size` bytes at `offset`, in the file's byte order.
std::optional<uint64_t> field(const std::string &bytes, uint64_t offset, size_t size,
                              bool bigEndian)
{
    if (offset > bytes.size() || size > bytes.size() - offset)
        return std::nullopt;
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value =
            value << 8 | static_cast<unsigned char>(bytes[offset + (bigEndian ? i : size - 1 - i)]);
    return value;
}

// The ELF header and program headers, as far as the interpreter; nothing when they do not
// read as ELF (the loader then has nothing to add either).
std::optional<Program> elfProgram(int fd, const std::string &header)
{
    Program program;
    program.type = Program::Type::Elf;
    program.elfClass = static_cast<unsigned char>(header[EI_CLASS]);
    const bool wide = program.elfClass == ELFCLASS64;
    const bool bigEndian = header[EI_DATA] == ELFDATA2MSB;
    const size_t word = wide ? 8 : 4;
    const auto machine = field(header, 18, 2, bigEndian);
    const auto tableOffset = field(header, wide ? 32 : 28, word, bigEndian);
    const auto entrySize = field(header, wide ? 54 : 42, 2, bigEndian);
    const auto entries = field(header, wide ? 56 : 44, 2, bigEndian);
    if (!machine || !tableOffset || !entrySize || !entries ||
        *entrySize < (wide ? sizeof(Elf64_Phdr) : sizeof(Elf32_Phdr)))
        return std::nullopt;
    program.machine = uint16_t(*machine);
    const std::string table = readAt(fd, *tableOffset, size_t(*entrySize * *entries));
    for (uint64_t at = 0; at + *entrySize <= table.size(); at += *entrySize) {
        if (field(table, at, 4, bigEndian) != PT_INTERP)
            continue;
        const auto offset = field(table, at + word, word, bigEndian);
        const auto size = field(table, at + (wide ? 32 : 16), word, bigEndian);
        if (!offset || !size || *size > kInterpreterLimit)
            return std::nullopt;
        program.interpreter = readAt(fd, *offset, size_t(*size));
        program.interpreter.resize(std::strlen(program.interpreter.c_str()));
        break;
    }
    return program;
}

std::optional<Program> readProgram(int fd)
{
    const std::string header = readAt(fd, 0, std::max<size_t>(kScriptLineLimit, 64));
    if (header.size() >= 64 && header.compare(0, SELFMAG, ELFMAG) == 0)
        return elfProgram(fd, header);
    Program program;
    if (!header.starts_with("#!"))
        return program;
    program.type = Program::Type::Script;
    std::string line = header.substr(
        2, header.find('\n') == std::string::npos ? std::string::npos : header.find('\n') - 2);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto start = std::find_if_not(line.begin(), line.end(), blank);
    const auto end = std::find_if(start, line.end(), blank);
    program.interpreter.assign(start, end);
    std::string rest(std::find_if_not(end, line.end(), blank), line.end());
    while (!rest.empty() && (blank(rest.back()) || rest.back() == '\r'))
        rest.pop_back();
    program.argument = rest;
    return program;
}

// An executable regular file at the absolute `path` of the system.
bool installed(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// `name` in a folder of $PATH (the system's default where it is unset).
bool onPath(const std::string &name)
{
    const char *variable = std::getenv("PATH");
    const std::string path = variable ? variable : "/usr/local/bin:/usr/bin:/bin";
    size_t from = 0;
    while (from <= path.size()) {
        const size_t to = std::min(path.find(':', from), path.size());
        const std::string folder = path.substr(from, to - from);
        // An empty or relative folder depends on where the desktop starts the program.
        if (!folder.empty() && folder.front() == '/' && installed(folder + '/' + name))
            return true;
        from = to + 1;
    }
    return false;
}

struct Output {
    bool ran = false;    // it ran and exited by itself within the time
    int status = -1;     // its exit status
    std::string text;    // standard output and error together, at most kOutputLimit bytes
    std::string failure; // why it did not run, or did not end
};

// Runs `argv` (argv[0] by its path, no shell) with an empty environment, in "/", its input
// /dev/null and its output and errors into one pipe. Ended with SIGKILL after kTimeLimit.
Output runBounded(std::vector<std::string> argv)
{
    Output output;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        output.failure = ZAVFiles::errorText(errno);
        return output;
    }
    ZAVFd reader(ends[0]);
    ZAVFd writer(ends[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writer.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, writer.get(), 2);
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    std::vector<char *> arguments;
    for (std::string &argument : argv)
        arguments.push_back(argument.data());
    arguments.push_back(nullptr);
    char *environment[] = {nullptr};
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, argv.front().c_str(), &actions, nullptr, arguments.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    writer.reset();
    if (spawned != 0) {
        output.failure = ZAVFiles::errorText(spawned);
        return output;
    }

    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    bool timedOut = false;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait{reader.get(), POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&wait, 1, int(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = ready == 0;
            break;
        }
        const ssize_t n = read(reader.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        output.text.append(buffer, std::min(size_t(n), kOutputLimit - output.text.size()));
    }
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut)
        output.failure = "it did not finish within " + std::to_string(kTimeLimit.count()) + " s";
    else if (!WIFEXITED(status))
        output.failure = "it was ended by signal " + std::to_string(WTERMSIG(status));
    output.ran = output.failure.empty();
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    size_t from = 0;
    while (from < text.size()) {
        const size_t to = std::min(text.find('\n', from), text.size());
        result.push_back(text.substr(from, to - from));
        from = to + 1;
    }
    return result;
}

std::string trimmed(const std::string &text)
{
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::string();
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// "2.34" before "2.4": the numbers of a version, compared one by one.
bool olderVersion(const std::string &a, const std::string &b)
{
    const auto numbers = [](const std::string &version) {
        std::vector<long> result;
        for (size_t at = 0; at < version.size();) {
            char *end = nullptr;
            result.push_back(std::strtol(version.c_str() + at, &end, 10));
            at = size_t(end - version.c_str()) + 1;
        }
        return result;
    };
    return numbers(a) < numbers(b);
}

// What the loader's list says is missing.
struct Missing {
    std::string library;      // the first library it did not find
    std::string cVersion;     // the newest GLIBC_ version the C library lacks
    std::string otherVersion; // another symbol version, "GLIBCXX_3.4.30 of libstdc++.so.6"
    bool any() const { return !library.empty() || !cVersion.empty() || !otherVersion.empty(); }
};

// The loader writes "\tNAME => not found" for a library it did not find (or stops at it with
// "PROGRAM: error while loading shared libraries: NAME: cannot open shared object file: ..."),
// and "PROGRAM: /path/of/LIBRARY: version `V' not found (required by ...)" for a version.
Missing missingFrom(const std::string &text)
{
    Missing missing;
    constexpr std::string_view kNotFound = " => not found";
    constexpr std::string_view kStopped = "error while loading shared libraries: ";
    constexpr std::string_view kVersion = ": version `";
    for (const std::string &line : lines(text)) {
        std::string library;
        if (line.ends_with(kNotFound)) {
            library = trimmed(line.substr(0, line.size() - kNotFound.size()));
        } else if (const size_t at = line.find(kStopped); at != std::string::npos) {
            const std::string rest = line.substr(at + kStopped.size());
            const size_t colon = rest.find(": cannot open shared object file");
            if (colon != std::string::npos)
                library = rest.substr(0, colon);
        } else if (const size_t at = line.find(kVersion); at != std::string::npos) {
            const size_t close = line.find("' not found", at);
            if (close == std::string::npos)
                continue;
            const std::string version =
                line.substr(at + kVersion.size(), close - at - kVersion.size());
            const std::string path = line.substr(0, at);
            const std::string from = path.substr(path.rfind('/') + 1);
            if (version.starts_with("GLIBC_") && version.size() > 6 &&
                std::isdigit(static_cast<unsigned char>(version[6]))) {
                if (missing.cVersion.empty() ||
                    olderVersion(missing.cVersion.substr(6), version.substr(6)))
                    missing.cVersion = version;
            } else if (missing.otherVersion.empty()) {
                missing.otherVersion = version + " of " + from;
            }
        }
        if (!library.empty() && missing.library.empty())
            missing.library = library;
    }
    return missing;
}

// The release of the system's C library: its loader's "--version" ("... release version
// 2.36."), or, from loaders older than that option, getconf's "glibc 2.31". Empty when neither
// tells.
std::string systemCVersion(const std::string &loader)
{
    const Output banner = runBounded({loader, "--version"});
    constexpr std::string_view kRelease = "release version ";
    if (const size_t at = banner.text.find(kRelease); banner.ran && at != std::string::npos) {
        const size_t from = at + kRelease.size();
        const size_t to = banner.text.find_first_not_of("0123456789.", from);
        std::string version = banner.text.substr(from, to - from);
        while (!version.empty() && version.back() == '.')
            version.pop_back();
        if (!version.empty())
            return version;
    }
    const Output getconf = runBounded({"/usr/bin/getconf", "GNU_LIBC_VERSION"});
    if (getconf.ran && getconf.status == 0 && getconf.text.starts_with("glibc "))
        return trimmed(lines(getconf.text.substr(6)).front());
    return std::string();
}

ZAVPkgResult notInstalled(const std::string &product, const std::string &what)
{
    return ZAVPkgError::cannotRun({kZAVPkgNeedsLibrary, {product, what}});
}

// `version`: the symbol version missing; `has`: this computer's C library, when known.
ZAVPkgResult needsNewerSystem(const std::string &product, const std::string &version,
                              const std::string &has)
{
    if (has.empty())
        return ZAVPkgError::cannotRun({kZAVPkgNeedsNewerSystemVersion, {product, version}});
    return ZAVPkgError::cannotRun({kZAVPkgNeedsNewerSystem, {product, version, has}});
}

// The loader's list of the ELF program at `path` (absolute, in the staging directory).
ZAVPkgResult checkLibraries(const std::string &product, const std::string &loader,
                            const std::string &path, ZAVPkgLog &log)
{
    const Output list = runBounded({loader, "--list", path});
    const Missing missing = missingFrom(list.text);
    if (!missing.cVersion.empty())
        return needsNewerSystem(product, missing.cVersion, systemCVersion(loader));
    if (!missing.library.empty())
        return notInstalled(product, missing.library);
    if (!missing.otherVersion.empty())
        return needsNewerSystem(product, missing.otherVersion, std::string());
    if (!list.ran || list.status != 0) {
        const std::string why =
            !list.ran ? list.failure
                      : "exit status " + std::to_string(list.status) +
                            (list.text.empty() ? "" : ": " + lines(list.text).front());
        log.message("warning: cannot tell whether " + ZAVQuoted(path) + " runs here: " + loader +
                    " --list failed (" + ZAVEscaped(why) + ")");
        return std::nullopt;
    }
    for (const std::string &line : lines(list.text))
        log.detail("needs " + ZAVEscaped(trimmed(line)));
    return std::nullopt;
}

} // namespace

ZAVPkgResult ZAVPackageRunCheck::check(int stagingFd, const std::string &relativePath,
                                       const std::string &product, ZAVPkgLog &log)
{
    const ZAVResult<ZAVFd> fd = ZAVDirectory::openBeneath(stagingFd, relativePath, O_RDONLY);
    if (!fd) {
        log.message("warning: cannot tell whether " + ZAVQuoted(relativePath) +
                    " runs here: " + fd.error().reasonText());
        return std::nullopt;
    }
    const std::optional<Program> program = readProgram(fd->get());
    if (!program || program->type == Program::Type::Other || program->interpreter.empty()) {
        log.detail(ZAVQuoted(relativePath) + " needs no interpreter");
        return std::nullopt;
    }
    // A relative interpreter depends on the folder the program is started in.
    if (program->interpreter.front() != '/') {
        log.message("warning: cannot tell whether " + ZAVQuoted(relativePath) +
                    " runs here: its interpreter " + ZAVQuoted(program->interpreter) +
                    " is not an absolute path");
        return std::nullopt;
    }
    if (!installed(program->interpreter))
        return notInstalled(product, program->interpreter);

    if (program->type == Program::Type::Script) {
        // "#!/usr/bin/env NAME": NAME is the interpreter in truth (the kernel passes the rest
        // of the line as one argument: options or a second word are not looked up).
        const std::string &name = program->argument;
        if (program->interpreter.ends_with("/env") && !name.empty() && name.front() != '-' &&
            name.find_first_of(" \t/=") == std::string::npos && !onPath(name))
            return notInstalled(product, name);
        log.detail(ZAVQuoted(relativePath) + " is a script for " + ZAVQuoted(program->interpreter) +
                   " " + ZAVQuoted(name));
        return std::nullopt;
    }

    const auto loader =
        std::find_if(std::begin(kLoaders), std::end(kLoaders), [&](const Loader &loader) {
            return loader.machine == program->machine && loader.elfClass == program->elfClass &&
                   program->interpreter == loader.path;
        });
    if (loader == std::end(kLoaders)) {
        log.detail(ZAVQuoted(relativePath) + " has the interpreter " +
                   ZAVQuoted(program->interpreter) + ", whose libraries are not checked");
        return std::nullopt;
    }
    // The loader is given the real path, so that $ORIGIN means the folder the kernel will see.
    char real[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(fd->get());
    const ssize_t n = readlink(self.c_str(), real, sizeof real - 1);
    if (n <= 0 || size_t(n) >= sizeof real - 1) {
        log.message("warning: cannot tell whether " + ZAVQuoted(relativePath) +
                    " runs here: cannot find its path (" + ZAVFiles::errorText(errno) + ")");
        return std::nullopt;
    }
    return checkLibraries(product, loader->path, std::string(real, size_t(n)), log);
}
