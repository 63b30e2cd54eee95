#pragma once

#include "ZAVPkgSentence.h"
#include "base/ZAVFileError.h"

#include <optional>
#include <string>

// What went wrong in a zav-pkg run, as a value. The kind decides the exit status; the message
// is what the vendor or the user reads on standard error. Each layer adds its context in front
// ("while unpacking bin/demo: ...").
struct ZAVPkgError {
    enum class Kind {
        Usage = 2,        // the command line is wrong
        Unreadable = 3,   // the package cannot be read as a package: missing, not an archive,
                          // truncated or corrupt
        Refused = 4,      // the package reads but breaks a rule: what it holds is not installed
        Failed = 5,       // the package is acceptable but installing it failed (no space,
                          // file-system errors, a link planted in the home)
        CannotRun = 6,    // the program the package starts cannot be loaded on this computer:
                          // the message is one sentence for the user, with nothing in front
        DoesNotApply = 7, // a delta cannot make the new version here (made for another
                          // installed version, damaged, an installed file changed, an entry
                          // that breaks a rule): the full package will do
    };

    Kind kind;
    std::string message;
    // CannotRun: the sentence as the installer reads it (ZAVPkgSentence::encoded()).
    std::string sentence{};

    static ZAVPkgError usage(std::string message) { return {Kind::Usage, std::move(message)}; }
    static ZAVPkgError unreadable(std::string message)
    {
        return {Kind::Unreadable, std::move(message)};
    }
    static ZAVPkgError refused(std::string message) { return {Kind::Refused, std::move(message)}; }
    static ZAVPkgError failed(std::string message) { return {Kind::Failed, std::move(message)}; }
    static ZAVPkgError cannotRun(const ZAVPkgSentence &sentence)
    {
        return {Kind::CannotRun, sentence.english(), sentence.encoded()};
    }
    static ZAVPkgError doesNotApply(std::string message)
    {
        return {Kind::DoesNotApply, std::move(message)};
    }
    // A file step of the installation that failed: "<context>: <the reason>".
    static ZAVPkgError failed(const std::string &context, const ZAVFileError &error)
    {
        return failed(context + ": " + error.reasonText());
    }

    ZAVPkgError withContext(const std::string &context) const
    {
        return {kind, context + ": " + message};
    }
    int exitStatus() const { return static_cast<int>(kind); }
};

using ZAVPkgResult = std::optional<ZAVPkgError>;
