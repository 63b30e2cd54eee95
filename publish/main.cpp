// zav-vendor: the vendor's tool. Makes signing keys, packages, feeds and signatures, and checks
// a published feed the way the installer will. See docs/publishing.md.

#include "ZAVVendorBundler.h"
#include "ZAVVendorDelta.h"
#include "ZAVVendorFeedWriter.h"
#include "ZAVVendorKey.h"
#include "ZAVVendorPackager.h"
#include "ZAVVendorRelease.h"
#include "ZAVVendorStamp.h"
#include "ZAVVendorVerifier.h"
#include "base/ZAVAtomicFile.h"

#include <QCoreApplication>
#include <QDateTime>

#include <sodium.h>

#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#ifndef ZAV_MIN_FEED_SERIAL
#error "ZAV_MIN_FEED_SERIAL must be defined by the build"
#endif
#define ZAV_QUOTE(value) #value
#define ZAV_TEXT(value) ZAV_QUOTE(value)
#define ZAV_MIN_FEED_SERIAL_TEXT ZAV_TEXT(ZAV_MIN_FEED_SERIAL)

namespace {

constexpr char kHelp[] =
    "usage: zav-vendor keygen -p KEY.pub -s KEY.key [-W]\n"
    "       zav-vendor pack APPDIR -o PKG.tar.gz|PKG.tar.zst\n"
    "       zav-vendor feed --pkg PKG --pkg-url URL --feed-url URL --product NAME\n"
    "                       --bundle-id ID --version V [--auto-launch] [--display-version]\n"
    "                       [--mirrors URL,URL...]\n"
    "                       [--expires 90d] [--serial N [--allow-serial-ahead]] -o FEED.json\n"
    "       zav-vendor sign -s KEY.key FEED.json\n"
    "       zav-vendor delta OLD.tar.zst NEW.tar.zst -o FILE\n"
    "       zav-vendor release APPDIR --base-url URL -s KEY.key [-p KEY.pub] -o DIR\n"
    "                       [--previous OLD.tar.zst]\n"
    "                       [--product NAME] [--bundle-id ID] [--version V] [--auto-launch]\n"
    "                       [--display-version] [--expires 90d] [--serial N\n"
    "                       [--allow-serial-ahead]] [--min-serial N]\n"
    "       zav-vendor verify -p KEY.pub [--min-serial N] [--pkg PKG] [--feed-url URL]\n"
    "                       URL|FILE\n"
    "       zav-vendor bundle --feed-url URL --key KEY.pub [--key BACKUP.pub ...]\n"
    "                         [--min-serial N] [--name NAME] [--installer DIR] -o DIR\n"
    "       zav-vendor bundle --feed-url URL --allow-unsigned [--name NAME] ... -o DIR\n"
    "\n"
    "keygen  makes a key pair in minisign's formats; the secret key is protected by a\n"
    "        password read from the terminal or standard input (-W: unprotected). Prints the\n"
    "        -DZAV_TRUSTED_KEYS=... option to build the installer with.\n"
    "pack    writes a reproducible package of APPDIR (SOURCE_DATE_EPOCH sets its times) after\n"
    "        running every check zav-pkg runs; prints its application id, SHA-256 and size.\n"
    "feed    writes the feed document for a checked package; the serial defaults to the\n"
    "        current Unix time (one more than a year ahead of it is refused unless\n"
    "        --allow-serial-ahead), the expiry to 90 days (Nd or Nh).\n"
    "sign    writes FEED.json.minisig, a prehashed minisign signature.\n"
    "delta   writes the delta that turns what OLD installs into what NEW installs: the files\n"
    "        that changed, whole or as zstd patches of the old ones; checks that it applies.\n"
    "release packs APPDIR into DIR/<id>-<version>-<SHA-256, 16 digits>.tar.zst, writes\n"
    "        DIR/feed.json from the package's desktop entry (Name, id, X-Package-Version;\n"
    "        the options override them) for the files served at URL, signs it, and checks\n"
    "        the three as verify does (by the public half of KEY.key, or by KEY.pub). DIR\n"
    "        must be missing or empty; it gets all three files, or none when a step fails.\n"
    "        Prints the upload order and the feed URL to build the installer with.\n"
    "        --previous adds the delta from OLD.tar.zst to DIR and to the feed (pkgDeltas).\n"
    "verify  makes every check the installer makes on the feed at URL (or in FILE, with\n"
    "        FILE.minisig beside it) and on its package; exit status 1 on the first failure.\n"
    "        --pkg checks the feed against the package file PKG instead of fetching it;\n"
    "        --feed-url is the URL a feed FILE will be served at (then compared).\n"
    "        --min-serial is the installers' serial floor (default: this build's\n"
    "        -DZAV_MIN_FEED_SERIAL, " ZAV_MIN_FEED_SERIAL_TEXT ").\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed, 2 usage error.\n";

int usage(const std::string &message)
{
    std::fprintf(stderr, "zav-vendor: %s\n(zav-vendor -help shows the usage)\n", message.c_str());
    return 2;
}

int fail(const std::string &message)
{
    std::fprintf(stderr, "zav-vendor: %s\n", message.c_str());
    return 1;
}

// Options of one command: "-x VALUE" pairs, flags, and the remaining operands, as the bytes
// given (paths are never converted).
struct Arguments {
    std::map<std::string, std::string> values;
    std::map<std::string, std::vector<std::string>> lists; // options that may be given again
    std::set<std::string> flags;
    std::vector<std::string> operands;
    std::string error;

    Arguments(int argc, char **argv, const std::set<std::string> &valued,
              const std::set<std::string> &flagged, const std::set<std::string> &repeated = {})
    {
        for (int i = 2; i < argc && error.empty(); ++i) {
            const std::string arg = argv[i];
            if (repeated.contains(arg)) {
                if (i + 1 >= argc)
                    error = arg + " needs a value";
                else
                    lists[arg].push_back(argv[++i]);
            } else if (valued.contains(arg)) {
                if (i + 1 >= argc)
                    error = arg + " needs a value";
                else if (!values.emplace(arg, argv[++i]).second)
                    error = arg + " is given twice";
            } else if (flagged.contains(arg)) {
                flags.insert(arg);
            } else if (arg.size() > 1 && arg[0] == '-') {
                error = "unknown option " + arg;
            } else {
                operands.push_back(arg);
            }
        }
    }
    std::string missing(const std::vector<std::string> &required) const
    {
        for (const std::string &name : required) {
            if (!values.contains(name))
                return name + " is required";
        }
        return {};
    }
    QString text(const std::string &name) const
    {
        const auto it = values.find(name);
        return it == values.end() ? QString() : QString::fromStdString(it->second);
    }
};

// One line from the terminal without echo, or from standard input when it is not a terminal.
std::optional<std::string> readPassword(const char *prompt)
{
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fprintf(stderr, "%s", prompt);
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &saved);
        ZAVVendorKey::restoreTerminalOnSignal(&saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        ZAVVendorKey::restoreTerminalOnSignal(nullptr);
        std::fprintf(stderr, "\n");
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (!read || line.empty())
        return std::nullopt;
    return line;
}

int keygen(int argc, char **argv)
{
    const Arguments args(argc, argv, {"-p", "-s"}, {"-W"});
    if (!args.error.empty() || !args.missing({"-p", "-s"}).empty() || !args.operands.empty())
        return usage(args.error.empty() ? "keygen needs -p KEY.pub and -s KEY.key" : args.error);
    const std::string publicPath = args.values.at("-p");
    const std::string secretPath = args.values.at("-s");
    for (const std::string &path : {publicPath, secretPath}) {
        if (access(path.c_str(), F_OK) == 0)
            return fail(path + " exists; zav-vendor never replaces a key");
    }
    std::optional<std::string> password;
    if (!args.flags.contains("-W")) {
        password = readPassword("Password for the new secret key: ");
        if (!password)
            return fail("no password given (-W makes an unprotected key)");
        if (isatty(STDIN_FILENO)) {
            std::optional<std::string> again = readPassword("The same password again: ");
            const bool same = again == password;
            if (again)
                sodium_memzero(again->data(), again->size());
            if (!same)
                return fail("the two passwords differ");
        }
    }
    const ZAVVendorKey key = ZAVVendorKey::generate();
    const std::string secretText = key.secretKeyFileText(password);
    if (password)
        sodium_memzero(password->data(), password->size());
    if (secretText.empty())
        return fail("not enough memory to protect the key with its password");
    if (const ZAVStatus written =
            ZAVAtomicFile::write(secretPath, secretText, 0600, ZAVAtomicFile::Commit::NoReplace);
        !written)
        return fail("cannot write " + secretPath + ": " + written.error().reasonText());
    if (const ZAVStatus written = ZAVAtomicFile::write(publicPath, key.publicKeyFileText(), 0644,
                                                       ZAVAtomicFile::Commit::NoReplace);
        !written)
        return fail("cannot write " + publicPath + ": " + written.error().reasonText());
    std::fprintf(stderr,
                 "zav-vendor: key %s: public key in %s, secret key in %s. Keep the secret key "
                 "and its password safe.\nStamp the installer with it (zav-vendor bundle --key "
                 "%s ...), or build it with:\n",
                 key.keyId().c_str(), publicPath.c_str(), secretPath.c_str(), publicPath.c_str());
    std::printf("-DZAV_TRUSTED_KEYS=%s\n", key.publicKey().c_str());
    return 0;
}

int sign(int argc, char **argv)
{
    const Arguments args(argc, argv, {"-s"}, {});
    if (!args.error.empty() || !args.missing({"-s"}).empty() || args.operands.size() != 1)
        return usage(args.error.empty() ? "sign needs -s KEY.key and one file" : args.error);
    const std::string file = args.operands.front();
    const ZAVResult<ZAVVendorKey> key = ZAVVendorKey::load(
        args.values.at("-s"), [] { return readPassword("Password of the secret key: "); });
    if (!key)
        return fail(key.error().message());
    const size_t slash = file.rfind('/');
    const ZAVResult<std::string> signature =
        key->signatureFor(file, slash == std::string::npos ? file : file.substr(slash + 1));
    if (!signature)
        return fail("cannot read " + signature.error().message());
    const std::string output = file + ".minisig";
    if (const ZAVStatus written = ZAVAtomicFile::write(output, *signature, 0644); !written)
        return fail("cannot write " + output + ": " + written.error().reasonText());
    std::fprintf(stderr, "zav-vendor: signed %s with key %s into %s\n", file.c_str(),
                 key->keyId().c_str(), output.c_str());
    return 0;
}

void printPackage(const ZAVVendorPackager::Result &result)
{
    std::printf("id %s\nsha256 %s\nsize %llu\n", result.applicationId.c_str(),
                result.sha256.c_str(), static_cast<unsigned long long>(result.size));
}

int pack(int argc, char **argv)
{
    const Arguments args(argc, argv, {"-o"}, {});
    if (!args.error.empty() || !args.missing({"-o"}).empty() || args.operands.size() != 1)
        return usage(args.error.empty() ? "pack needs APPDIR and -o PKG" : args.error);
    const ZAVResult<ZAVVendorPackager::Result> result =
        ZAVVendorPackager::pack(args.operands.front(), args.values.at("-o"));
    if (!result)
        return fail(result.error().message());
    printPackage(*result);
    return 0;
}

// What feed and release take alike, from the command line into `options`; the usage error,
// or empty.
std::string feedOptions(const Arguments &args, ZAVVendorFeedWriter::Options *options)
{
    options->product = args.text("--product");
    options->bundleId = args.text("--bundle-id");
    options->version = args.text("--version");
    options->autoLaunch = args.flags.contains("--auto-launch");
    options->displayVersion = args.flags.contains("--display-version");
    options->allowSerialAhead = args.flags.contains("--allow-serial-ahead");
    if (args.values.contains("--expires"))
        options->expires = args.text("--expires");
    if (args.values.contains("--serial")) {
        bool ok = false;
        options->serial = args.text("--serial").toLongLong(&ok);
        if (!ok)
            return "--serial takes a whole number";
    }
    return {};
}

// --min-serial, by default this build's floor; nothing when it is not a serial.
std::optional<qint64> minimumSerial(const Arguments &args)
{
    if (!args.values.contains("--min-serial"))
        return ZAV_MIN_FEED_SERIAL;
    bool ok = false;
    const qint64 serial = args.text("--min-serial").toLongLong(&ok);
    if (!ok || serial < 0 || serial > ZAVVendorFeedWriter::kMaxSerial)
        return std::nullopt;
    return serial;
}

int feed(int argc, char **argv)
{
    const std::vector<std::string> required = {
        "--pkg", "--pkg-url", "--feed-url", "--product", "--bundle-id", "--version", "-o"};
    const Arguments args(argc, argv,
                         {"--pkg", "--pkg-url", "--feed-url", "--product", "--bundle-id",
                          "--version", "--expires", "--serial", "--mirrors", "-o"},
                         {"--auto-launch", "--display-version", "--allow-serial-ahead"});
    const std::string missing = args.missing(required);
    if (!args.error.empty() || !missing.empty() || !args.operands.empty())
        return usage(!args.error.empty() ? args.error
                     : !missing.empty()  ? missing
                                         : "feed takes no operands");
    ZAVVendorFeedWriter::Options options;
    if (const std::string error = feedOptions(args, &options); !error.empty())
        return usage(error);
    options.pkgUrl = args.text("--pkg-url");
    if (args.values.contains("--mirrors"))
        options.mirrors = args.text("--mirrors").split(u',', Qt::SkipEmptyParts);
    options.feedUrl = args.text("--feed-url");
    const ZAVResult<ZAVVendorPackager::Result> package =
        ZAVVendorPackager::check(args.values.at("--pkg"));
    if (!package)
        return fail(package.error().message());
    std::string error;
    const std::optional<QByteArray> document =
        ZAVVendorFeedWriter::document(options, *package, QDateTime::currentDateTimeUtc(), &error);
    if (!document)
        return fail(error);
    const std::string output = args.values.at("-o");
    if (const ZAVStatus written = ZAVAtomicFile::write(
            output, std::string_view(document->constData(), static_cast<size_t>(document->size())),
            0644);
        !written)
        return fail("cannot write " + output + ": " + written.error().reasonText());
    printPackage(*package);
    return 0;
}

int release(int argc, char **argv)
{
    const Arguments args(argc, argv,
                         {"--base-url", "-s", "-p", "-o", "--product", "--bundle-id", "--version",
                          "--expires", "--serial", "--min-serial", "--previous"},
                         {"--auto-launch", "--display-version", "--allow-serial-ahead"});
    const std::string missing = args.missing({"--base-url", "-s", "-o"});
    if (!args.error.empty() || !missing.empty() || args.operands.size() != 1)
        return usage(!args.error.empty() ? args.error
                     : !missing.empty()  ? missing
                                         : "release needs one APPDIR");
    ZAVVendorRelease::Options options;
    if (const std::string error = feedOptions(args, &options.feed); !error.empty())
        return usage(error);
    const std::optional<qint64> floor = minimumSerial(args);
    if (!floor)
        return usage("--min-serial takes a whole number from 0 to 2^53-1");
    options.minimumSerial = *floor;
    options.appDir = args.operands.front();
    options.baseUrl = args.text("--base-url");
    options.outputDir = args.values.at("-o");
    if (args.values.contains("-p"))
        options.publicKeyPath = args.values.at("-p");
    if (args.values.contains("--previous"))
        options.previousPackage = args.values.at("--previous");
    const ZAVResult<ZAVVendorKey> key = ZAVVendorKey::load(
        args.values.at("-s"), [] { return readPassword("Password of the secret key: "); });
    if (!key)
        return fail(key.error().message());
    const ZAVResult<ZAVVendorRelease::Result> result =
        ZAVVendorRelease::make(options, *key, stdout);
    if (!result)
        return fail(result.error().message());
    std::printf("Upload to %s/ in this order:\n  1. %s\n", result->baseUrl.toStdString().c_str(),
                result->packagePath.c_str());
    int step = 2;
    if (!result->deltaPath.empty())
        std::printf("  %d. %s\n", step++, result->deltaPath.c_str());
    std::printf("  %d. %s\n  %d. %s\nThe feed URL, to build or stamp the installer with: %s\n",
                step, result->feedPath.c_str(), step + 1, result->signaturePath.c_str(),
                result->feedUrl.toStdString().c_str());
    return 0;
}

int delta(int argc, char **argv)
{
    const Arguments args(argc, argv, {"-o"}, {});
    if (!args.error.empty() || !args.values.contains("-o") || args.operands.size() != 2)
        return usage(!args.error.empty() ? args.error
                                         : "delta needs OLD.tar.zst NEW.tar.zst -o FILE");
    const ZAVResult<ZAVVendorDelta::Result> result =
        ZAVVendorDelta::make(args.operands[0], args.operands[1], args.values.at("-o"));
    if (!result)
        return fail(result.error().message());
    std::printf("delta: %s\nfromSha256: %s\nsha256: %s\nsize: %llu\npackageSha256: %s\n"
                "packageSize: %llu\ntreeSha256: %s\nfiles: %d unchanged, %d patched, %d whole\n",
                args.values.at("-o").c_str(), result->fromSha256.c_str(), result->sha256.c_str(),
                static_cast<unsigned long long>(result->size), result->packageSha256.c_str(),
                static_cast<unsigned long long>(result->packageSize), result->treeSha256.c_str(),
                result->unchanged, result->patched, result->whole);
    return 0;
}

int verify(int argc, char **argv)
{
    const Arguments args(argc, argv, {"-p", "--min-serial", "--pkg", "--feed-url"}, {});
    if (!args.error.empty() || !args.missing({"-p"}).empty() || args.operands.size() != 1)
        return usage(args.error.empty() ? "verify needs -p KEY.pub and one URL or file"
                                        : args.error);
    const std::optional<qint64> floor = minimumSerial(args);
    if (!floor)
        return usage("--min-serial takes a whole number from 0 to 2^53-1");
    ZAVVendorVerifier::Request request;
    request.publicKeyPath = args.values.at("-p");
    request.feed = args.operands.front();
    request.minimumSerial = *floor;
    if (args.values.contains("--pkg"))
        request.package = args.values.at("--pkg");
    if (args.values.contains("--feed-url")) {
        if (request.feed.starts_with("http://") || request.feed.starts_with("https://"))
            return usage("--feed-url is for a feed file; a feed URL is compared as it is");
        request.feedUrl = args.values.at("--feed-url");
    }
    return ZAVVendorVerifier::verify(request, stdout) ? 0 : 1;
}

int bundle(int argc, char **argv)
{
    const Arguments args(argc, argv, {"--feed-url", "--min-serial", "--name", "--installer", "-o"},
                         {"--allow-unsigned"}, {"--key"});
    const std::string missing = args.missing({"--feed-url", "-o"});
    if (!args.error.empty() || !missing.empty() || !args.operands.empty())
        return usage(!args.error.empty() ? args.error
                     : !missing.empty()  ? missing
                                         : "bundle takes no operands");
    std::vector<std::string> keys;
    if (const auto files = args.lists.find("--key"); files != args.lists.end()) {
        for (const std::string &path : files->second) {
            const ZAVResult<std::string> key = ZAVVendorStamp::readPublicKeyFile(path);
            if (!key)
                return fail(key.error().message());
            keys.push_back(*key);
        }
    }
    const auto value = [&args](const std::string &name, std::string otherwise) {
        const auto it = args.values.find(name);
        return it == args.values.end() ? otherwise : it->second;
    };
    const bool allowUnsigned = args.flags.contains("--allow-unsigned");
    const ZAVResult<ZAVStamp::Content> content = ZAVVendorStamp::content(
        args.values.at("--feed-url"), keys, value("--min-serial", "0"), allowUnsigned);
    if (!content)
        return fail(content.error().message());
    ZAVVendorBundler::Options options;
    options.installerFolder = value("--installer", ZAVVendorBundler::kitInstallerFolder());
    if (options.installerFolder.empty())
        return fail("no installer/ folder beside zav-vendor (the tool kit's); name one with "
                    "--installer DIR");
    options.outputFolder = args.values.at("-o");
    options.name = value("--name", "zav-installer");
    options.stamp = *content;
    const ZAVResult<std::string> written = ZAVVendorBundler::bundle(options);
    if (!written)
        return fail(written.error().message());
    if (allowUnsigned)
        std::fprintf(stderr, "zav-vendor: stamped UNSIGNED: this installer does not verify its "
                             "feed\n");
    std::fprintf(stderr, "zav-vendor: stamped %s with %s, %zu key(s), serial floor %llu\n",
                 written->c_str(), content->feedURL.c_str(), content->keys.size(),
                 static_cast<unsigned long long>(content->minimumSerial));
    std::printf("%s\n", written->c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        std::setlocale(LC_CTYPE, "");
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    if (sodium_init() < 0)
        return fail("libsodium cannot start");
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "keygen")
        return keygen(argc, argv);
    if (command == "sign")
        return sign(argc, argv);
    if (command == "pack")
        return pack(argc, argv);
    if (command == "feed")
        return feed(argc, argv);
    if (command == "release")
        return release(argc, argv);
    if (command == "delta")
        return delta(argc, argv);
    if (command == "verify")
        return verify(argc, argv);
    if (command == "bundle")
        return bundle(argc, argv);
    if (command == "-help" || command == "--help" || command == "-h" || command == "help") {
        std::printf("%s", kHelp);
        return 0;
    }
    return usage(command.empty() ? "a command is needed" : "unknown command " + command);
}
