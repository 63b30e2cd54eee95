// zav-pkg: installs a package for the current user. See docs/zav-pkg.md.

#include "ZAVPackageInstaller.h"
#include "ZAVPackageRemoval.h"
#include "ZAVPackageRollback.h"
#include "ZAVPkgError.h"
#include "ZAVPkgLog.h"
#include "base/ZAVUserAppLayout.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kCurrentUser[] = "CurrentUserHomeDirectory";

constexpr char kHelp[] =
    "usage: zav-pkg [-dumplog] [-verbose] [-id ID] [-replace-unowned] [-sha256 HEX] [-size N]\n"
    "               [-sentence] -pkg FILE -target CurrentUserHomeDirectory|DIR\n"
    "       zav-pkg [-dumplog] [-verbose] [-replace-unowned] -id ID -delta FILE -sha256 HEX -size "
    "N\n"
    "               -tree-sha256 HEX -package-sha256 HEX -target CurrentUserHomeDirectory|DIR\n"
    "       zav-pkg [-dumplog] [-verbose] -uninstall -id ID -target CurrentUserHomeDirectory|DIR\n"
    "       zav-pkg [-dumplog] [-verbose] -rollback -id ID -target CurrentUserHomeDirectory|DIR\n"
    "       zav-pkg -help\n"
    "\n"
    "Installs the application in package FILE for one user. A package is a tar archive, plain\n"
    "or compressed with gzip, bzip2, xz or zstd, whose root is the application directory: one\n"
    "desktop entry <id>.desktop (Type=Application, Exec naming a program of the package by\n"
    "relative path, optional Icon and X-Package-Version) and the application's files.\n"
    "\n"
    "  -pkg FILE     the package\n"
    "  -delta FILE   build the new version of ID from the installed one and the delta FILE;\n"
    "                -sha256 and -size then pin the delta\n"
    "  -tree-sha256 HEX     with -delta: the tree digest the result must have (pkgTreeSha256)\n"
    "  -package-sha256 HEX  with -delta: the full package the delta stands for (pkgSha256),\n"
    "                recorded in the receipt\n"
    "  -uninstall    remove application ID: its directory, desktop entry, icons and receipt\n"
    "  -rollback     put back the version of ID that the last upgrade replaced\n"
    "  -target HOME  CurrentUserHomeDirectory for $HOME, or the home directory to install into\n"
    "  -id ID        refuse a package of any other application id\n"
    "  -replace-unowned  move aside what zav-pkg did not install at the places it installs to\n"
    "                (to <name>.zav-saved-<time>) instead of refusing\n"
    "  -sha256 HEX   refuse the package unless the bytes read have this SHA-256\n"
    "  -size N       refuse the package unless it is exactly N bytes long\n"
    "  -sentence     after status 6, the sentence for the user as the installer reads it\n"
    "                (its source text and arguments, separated by 0x1f) instead of English\n"
    "  -verbose      one line per phase on standard output\n"
    "  -dumplog      the detailed log, every entry of the package, on standard error\n"
    "  -help         this text\n"
    "\n"
    "Installs into HOME/.local/opt/<id>/, HOME/.local/share/applications/<id>.desktop,\n"
    "HOME/.local/share/icons/hicolor/.../apps/<id>.<png|svg> and\n"
    "HOME/.local/share/zav/receipts/<id>.json, replacing an installed version in one step and\n"
    "keeping the replaced one in HOME/.local/opt/.previous/<id>/ for -rollback.\n"
    "\n"
    "Exit status:\n"
    "  0  installed\n"
    "  2  usage error: the command line is wrong\n"
    "  3  unreadable package: missing, not a tar archive, truncated or damaged\n"
    "  4  refused package: it breaks a rule (path leaving the directory, device file, no or\n"
    "     two desktop entries, invalid id, Exec not a program in the package, ...) or is\n"
    "     not the one -sha256 or -size names;\n"
    "     nothing was changed\n"
    "  5  installation failed: not enough space, a file-system error, a link in the home,\n"
    "     something zav-pkg did not install at its places, a desktop entry that would not\n"
    "     start the program; nothing was changed\n"
    "     -uninstall, -rollback: ID is not installed, no previous version is kept, something\n"
    "     at its places that zav-pkg did not install; nothing was changed\n"
    "  6  cannot run here: the program the desktop entry starts cannot be loaded on this\n"
    "     computer (its interpreter, a library it needs or a newer C library is missing);\n"
    "     nothing was changed\n"
    "  7  the delta does not apply here (made for another installed version, damaged, an\n"
    "     installed file changed, an entry that breaks a rule, not the tree pinned): install\n"
    "     the full package instead; nothing was changed\n";

// 64 hex digits in lower case, or empty.
std::string hexDigest(const std::string &value)
{
    if (value.size() != 64 ||
        value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return {};
    std::string lower;
    for (const char c : value)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

int usageError(const std::string &message)
{
    std::fprintf(stderr, "zav-pkg: %s\n(zav-pkg -help shows the usage)\n", message.c_str());
    return ZAVPkgError(ZAVPkgError::usage(message)).exitStatus();
}

} // namespace

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    // Names in packages are UTF-8 whatever the user's locale: libarchive then hands them over
    // unchanged instead of converting them to the locale's character set.
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        std::setlocale(LC_CTYPE, "");
    // A write past RLIMIT_FSIZE must fail with EFBIG and be reported, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // The user keeps the right to enter and remove what is installed for them.
    const mode_t mask = umask(0);
    umask(mask & 077);

    bool verbose = false;
    bool dumplog = false;
    bool encodedSentence = false;
    std::string package;
    std::string target;
    std::string delta;
    std::string treeSha256;
    std::string packageSha256;
    ZAVPackageInstaller::Options options;
    ZAVPackageInstaller::Expected &expected = options.expected;
    bool sizeGiven = false;
    enum class Action { Install, Uninstall, Rollback } action = Action::Install;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-help" || option == "--help" || option == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (option == "-verbose") {
            verbose = true;
        } else if (option == "-dumplog") {
            dumplog = true;
        } else if (option == "-sentence") {
            encodedSentence = true;
        } else if (option == "-uninstall" || option == "-rollback") {
            if (action != Action::Install)
                return usageError("give one of -uninstall and -rollback");
            action = option == "-uninstall" ? Action::Uninstall : Action::Rollback;
        } else if (option == "-replace-unowned") {
            options.replaceUnowned = true;
        } else if (option == "-id") {
            if (i + 1 >= argc || !ZAVUserAppLayout::isValidApplicationId(argv[i + 1]))
                return usageError("-id needs a valid application id (such as org.example.App)");
            options.expectedId = argv[++i];
        } else if (option == "-sha256" || option == "-size") {
            if (i + 1 >= argc)
                return usageError(option + " needs a value");
            const std::string value = argv[++i];
            if (option == "-sha256") {
                if (!expected.sha256.empty())
                    return usageError("-sha256 is given twice");
                expected.sha256 = hexDigest(value);
                if (expected.sha256.empty())
                    return usageError("-sha256 needs 64 hex digits");
            } else {
                if (sizeGiven)
                    return usageError("-size is given twice");
                char *end = nullptr;
                errno = 0;
                const long long size = std::strtoll(value.c_str(), &end, 10);
                if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0])) ||
                    *end != '\0' || errno == ERANGE)
                    return usageError("-size needs a number of bytes");
                expected.size = size;
                sizeGiven = true;
            }
        } else if (option == "-tree-sha256" || option == "-package-sha256") {
            std::string &value = option == "-tree-sha256" ? treeSha256 : packageSha256;
            if (!value.empty())
                return usageError(option + " is given twice");
            if (i + 1 >= argc || (value = hexDigest(argv[i + 1])).empty())
                return usageError(option + " needs 64 hex digits");
            ++i;
        } else if (option == "-pkg" || option == "-delta" || option == "-target") {
            if (i + 1 >= argc)
                return usageError(option + " needs a value");
            std::string &value = option == "-pkg" ? package : option == "-delta" ? delta : target;
            if (!value.empty())
                return usageError(option + " is given twice");
            value = argv[++i];
            if (value.empty())
                return usageError(option + " needs a value");
        } else {
            return usageError("unknown option " + ZAVQuoted(option));
        }
    }
    if (!delta.empty()) {
        if (!package.empty() || action != Action::Install)
            return usageError("-delta does not go with -pkg, -uninstall or -rollback");
        if (options.expectedId.empty() || treeSha256.empty() || packageSha256.empty() ||
            expected.sha256.empty() || !sizeGiven)
            return usageError("-delta needs -id, -sha256, -size, -tree-sha256 and -package-sha256");
        options.delta = ZAVPackageInstaller::Delta{treeSha256, packageSha256};
        package = delta;
    } else if (!treeSha256.empty() || !packageSha256.empty()) {
        return usageError("-tree-sha256 and -package-sha256 go with -delta");
    }
    if (action != Action::Install) {
        if (!package.empty())
            return usageError("-pkg does not go with -uninstall or -rollback");
        if (options.expectedId.empty())
            return usageError("-uninstall and -rollback need -id ID");
    } else if (package.empty()) {
        return usageError("no package given (-pkg FILE)");
    }
    if (target.empty())
        return usageError("no target given (-target CurrentUserHomeDirectory|DIR)");

    // The home stays the bytes it was given: a name that is not UTF-8 must not turn into
    // another one.
    std::string home;
    if (target == kCurrentUser) {
        home = ZAVUserAppLayout::currentUserHome();
        if (home.empty())
            return usageError("the current user has no home directory");
    } else {
        struct stat st {};
        if (stat(target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return usageError("the target " + ZAVQuoted(target) +
                              " is neither CurrentUserHomeDirectory nor a directory");
        home = target;
        if (home.front() != '/') {
            char *cwd = getcwd(nullptr, 0);
            if (!cwd)
                return usageError("cannot find the current directory");
            home = std::string(cwd) + '/' + home;
            free(cwd);
        }
    }

    ZAVPkgLog log(verbose, dumplog);
    if (action != Action::Install) {
        // The command line removes outright: the desktop action's remover uses the trash.
        const ZAVPkgResult error =
            action == Action::Uninstall
                ? ZAVPackageRemoval::uninstall(home, options.expectedId,
                                               ZAVPackageRemoval::Directory::Remove, log)
                : ZAVPackageRollback::rollBack(home, options.expectedId, log);
        if (error)
            log.message(std::string(action == Action::Uninstall ? "uninstall" : "rollback") +
                        " failed: " + error->message);
        return error ? error->exitStatus() : 0;
    }
    if (const ZAVPkgResult error = ZAVPackageInstaller::install(package, home, options, log)) {
        const char *what = "";
        switch (error->kind) {
        case ZAVPkgError::Kind::Usage:
            what = "";
            break;
        case ZAVPkgError::Kind::Unreadable:
            what = "cannot read the package: ";
            break;
        case ZAVPkgError::Kind::Refused:
            what = "refused: ";
            break;
        case ZAVPkgError::Kind::Failed:
            what = "installation failed: ";
            break;
        case ZAVPkgError::Kind::CannotRun:
            what = ""; // a sentence for the user, shown as it is by the installer
            break;
        case ZAVPkgError::Kind::DoesNotApply:
            what = "the delta does not apply: ";
            break;
        }
        log.message(what + (encodedSentence && !error->sentence.empty() ? error->sentence
                                                                        : error->message));
        return error->exitStatus();
    }
    return 0;
}
