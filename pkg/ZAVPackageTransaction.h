#pragma once

#include "ZAVPackageReceipt.h"
#include "ZAVPkgError.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVFd.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct ZAVPackageHome;
class ZAVPkgLog;

// The replace step of an installation and its roll-back. Until swap() everything it does is
// undone when it goes: folders it created are removed, what it moved aside is moved back, the
// staging directory and the temporary files are removed. swap() puts the staging directory in
// place of <opt>/<id> in one rename (an exchange when a version is installed); commitFiles()
// then renames each staged file over its final name, each previous file kept under a
// temporary name until all are in place, so that a failure puts them all back; after a
// failure failAfterSwap() puts the previous version back. Main thread.
class ZAVPackageTransaction {
public:
    ZAVPackageTransaction(const ZAVPackageHome &home, ZAVPkgLog &log);
    ~ZAVPackageTransaction();
    ZAVPackageTransaction(const ZAVPackageTransaction &) = delete;
    ZAVPackageTransaction &operator=(const ZAVPackageTransaction &) = delete;

    // Opens the directory at `components` below the home, creating missing ones (mode 0755);
    // what it creates is removed again if the run does not get to swap(). A component that is
    // a link or not a directory fails.
    ZAVPkgResult openHomeDirectory(const std::vector<std::string> &components, ZAVFd *fd);

    // Creates the private staging directory <opt>/.zav-staging-<random>; `optPath` names
    // <opt> in messages.
    ZAVPkgResult createStaging(int optFd, const std::string &optPath);
    // Takes directory `name` in `parentFd` (which must stay open, on the file system of <opt>)
    // as the version to swap in, instead of a staging directory of its own: what a roll-back
    // swaps back. The caller keeps it; nothing of it is removed.
    ZAVPkgResult adoptStaging(int optFd, int parentFd, const std::string &name);
    int stagingFd() const { return m_stagingFd.get(); }
    const std::string &stagingName() const { return m_stagingName; }

    // Writes a flushed temporary file beside `finalName` in `dirFd` with `data` (or what
    // `sourceFd` reads, when it is not -1), to be renamed over `finalName` by commitFiles(), in
    // the order staged. `what` names the file in messages.
    ZAVPkgResult stage(int dirFd, const std::string &finalName, const std::string &what,
                       std::string_view data, int sourceFd = -1, mode_t mode = 0644);
    // The files staged so far, in order.
    const std::vector<ZAVAtomicFile> &staged() const { return m_staged; }
    // The temporary name of the first file staged.
    const std::string &firstStagedName() const { return m_staged.front().temporaryName(); }

    // Renames each unowned thing to <name>.zav-saved-<UTC time>[-<n>] beside it.
    ZAVPkgResult moveAside(const std::vector<ZAVPackageReceipt::Unowned> &unowned);

    // Makes the staging directory mode 0755 (less the umask), flushes it to disk and swaps it
    // with <opt>/<id>.
    ZAVPkgResult swap(const std::string &id);
    ZAVPkgResult commitFiles();
    // `error` with what became of the home: the previous state put back, or the new version
    // left in place without its desktop entry.
    ZAVPkgError failAfterSwap(ZAVPkgError error);
    // Flushes the folders written to, and <opt>, to disk.
    void flush(const std::vector<int> &folders);
    // Removes the previous version, if one was swapped out; a failure is a warning (the next
    // run removes it).
    void removePrevious();
    // The name in <opt> of the version swapped out (empty: none), until removePrevious().
    const std::string &previousName() const { return m_oldName; }
    int previousFolderFd() const { return m_exchanged ? m_stagingParentFd : m_optFd; }

private:
    bool swapBack();
    void rollBack();

    const ZAVPackageHome &m_home;
    ZAVPkgLog &m_log;
    std::vector<std::function<void()>> m_undo;
    int m_optFd = -1;
    int m_stagingParentFd = -1; // where the staging directory is: <opt>, or an adopted one's
    std::string m_id;
    std::string m_stagingName;
    ZAVFd m_stagingFd;
    std::vector<ZAVAtomicFile> m_staged;
    std::string m_oldName;
    bool m_swapped = false;
    bool m_exchanged = false;
};
