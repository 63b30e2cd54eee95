#pragma once

#include "ZAVPkgError.h"
#include "base/ZAVFd.h"

#include <string>

struct ZAVPackageHome;
class ZAVPkgLog;
class ZAVUserAppLayout;

// The previous version an upgrade keeps, and the roll-back to it. The kept copy of <id> is
// <opt>/.previous/<id>/: app/ (the application directory it replaced) and files/ (its desktop
// entry, icon and receipt as they were). One per application, on the file system of <opt>.
// Main thread.
class ZAVPackageRollback {
public:
    // What an upgrade keeps, gathered in <opt>/.zav-staging-<random>/ (which the next run
    // removes, should this one be killed) and removed when this goes, unless keep() put it in
    // place.
    class Keeping {
    public:
        Keeping() = default;
        ~Keeping();
        Keeping(const Keeping &) = delete;
        Keeping &operator=(const Keeping &) = delete;

        // Copies the installed desktop entry, icons and receipt of the layout's id, before the
        // upgrade replaces them. Nothing when none is installed; a failure keeps nothing.
        void prepare(const ZAVPackageHome &home, int optFd, const ZAVUserAppLayout &layout,
                     ZAVPkgLog &log);
        // Once the upgrade is complete: the kept copy of the id goes, and the version swapped
        // out (`name` in `folderFd`) is kept with the files prepare() copied, when the file
        // system still has at least as much free space as it takes. False when it was not
        // kept (the caller removes it).
        bool keep(int folderFd, const std::string &name);

    private:
        ZAVPkgLog *m_log = nullptr;
        int m_optFd = -1;
        std::string m_id;
        std::string m_name; // in <opt>; empty: nothing gathered
        ZAVFd m_fd;
    };

    // zav-pkg -rollback: swaps the kept copy of `id` in for the installed version, with its
    // desktop entry, icon and receipt, in the steps and with the roll-back of an installation
    // (ZAVPackageTransaction). Fails (status 5) with nothing changed when no copy is kept, the
    // id is not installed, or anything at its places is not ours. The version rolled back from
    // is removed. `home` is an absolute directory, as bytes.
    static ZAVPkgResult rollBack(const std::string &home, const std::string &id, ZAVPkgLog &log);
};
