#pragma once

#include "base/ZAVResult.h"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ZAVPackageHome;
class ZAVUserAppLayout;

// Which files at the places of one application are the ones zav-pkg put there. Beside the
// receipt <id>.json lies its ownership record <id>.owned: one line per file zav-pkg wrote at
// one of the places, "<place> <size> <SHA-256 of its bytes>", after a first line
// "zav-owned 2". By content, not by inode: a home copied to another disk or restored from a
// backup keeps what it owns. An installation lists the files it puts in place and the ones they
// replace, and writes the record before it renames any of them, so a run killed between two renames
// leaves every place holding a listed file. A file at a place that no line lists (rewritten
// by someone else, put there by hand) is not ours. The record has this fixed form of numbers
// so that the remover, which carries no JSON reader, can read it. Without a record (an
// installation by an earlier zav-pkg) a regular file counts as ours. No Qt; main thread.
class ZAVPackageOwnership {
public:
    struct Identity {
        int64_t size = 0;
        std::string sha256; // empty: unreadable, matches nothing
        bool operator==(const Identity &) const = default;
    };
    struct Line {
        std::string place; // see places()
        Identity identity;
    };
    // A place a receipt owns: its name in the record, its path for the home "/", and whether
    // it is the application directory.
    struct Place {
        std::string name;
        std::string layoutPath;
        bool directory = false;
    };

    // The application directory, the desktop entry, both icons and the receipt, in the order
    // a removal takes them away (the receipt last of the files).
    static std::vector<Place> places(const ZAVUserAppLayout &layout);
    // The identity of the regular file `name` in `dirFd` (not followed when a link).
    static Identity identityOf(int dirFd, const std::string &name);
    static std::string recordName(const std::string &id);

    // The record of `id` in the receipts folder `receiptsFd`; nullopt when there is none, or
    // it is not a regular file of this form.
    static std::optional<std::vector<Line>> read(int receiptsFd, const std::string &id);
    // Writes it atomically (ZAVAtomicFile). The record it replaces stays under a temporary
    // name (`*previous`; empty when there was none) until finish() is told whether the files
    // went in place: if not, it is put back as it was. Recovery removes a temporary name left.
    static ZAVStatus write(int receiptsFd, const std::string &id, const std::vector<Line> &lines,
                           std::string *previous);
    static void finish(int receiptsFd, const std::string &id, const std::string &previous,
                       bool committed);
    // What is at `place`, as `st`, is ours by `record` (nullopt: no record).
    static bool owns(const std::optional<std::vector<Line>> &record, const Place &place,
                     int folderFd, const std::string &name, const struct stat &st);
    // The lines for what lies at the file places now and is ours: the part of a record that
    // an installation carries over while it replaces them.
    static std::vector<Line> current(const ZAVPackageHome &home, const ZAVUserAppLayout &layout);

    // Looks at each place and fills `*unowned` with the absolute path of each thing there
    // that is not ours. `*installed` tells whether a receipt is there at all.
    static ZAVStatus check(const ZAVPackageHome &home, const ZAVUserAppLayout &layout,
                           bool *installed, std::vector<std::string> *unowned);
};
