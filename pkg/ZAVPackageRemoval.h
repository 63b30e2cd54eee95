#pragma once

#include "ZAVPkgError.h"

#include <string>

struct ZAVPackageHome;
class ZAVPkgLog;

// Removes one installed application for one user: zav-pkg -uninstall and the remover the
// desktop action runs (zav-remove). What goes is what the receipt of the id owns (see
// ZAVPackageOwnership): the application directory, the desktop entry, both icons, the receipt
// and its record, and the previous version kept for a roll-back. When nothing of that is left
// for any application, the shared remover goes too. Nothing else is touched: the user's data
// elsewhere and the installer's feed state stay.
//
// A removal runs under the home's lock, after the leftovers of killed runs are cleaned. It
// first checks every place: anything there that is not ours ends it (status 5) with nothing
// changed. Its one step of no return is the rename of the application directory to
// <opt>/.zav-removing-<id>-<random> (or .zav-trashing-, when the directory goes to the trash;
// an empty one of that name when no directory is installed): until then the application is
// whole, from then on it is being removed, and a run killed after it is finished by the next
// zav-pkg or zav-remove run (finish()). No Qt; main thread.
class ZAVPackageRemoval {
public:
    enum class Directory {
        Remove, // removed outright
        Trash,  // moved to the user's trash, when that is on the same file system
    };

    static constexpr char kRemovingPrefix[] = ".zav-removing-";
    static constexpr char kTrashingPrefix[] = ".zav-trashing-";
    // Where the remover lives in the home, shared by every application.
    static constexpr char kRemoverFolder[] = ".local/share/zav/bin";
    static constexpr char kRemoverName[] = "zav-remove";

    // `home` is an absolute directory, as bytes. Fails with status 5 and "is not installed"
    // when the home has no receipt of `id`.
    static ZAVPkgResult uninstall(const std::string &home, const std::string &id, Directory how,
                                  ZAVPkgLog &log);

    // Finishes the removal whose journal directory `journal` (in `optFd`) a killed run left.
    static void finish(const ZAVPackageHome &home, int optFd, const std::string &journal,
                       ZAVPkgLog &log);
};
