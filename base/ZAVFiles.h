#pragma once

#include "ZAVResult.h"

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

// Small steps the other file classes share. Any thread; nothing throws.
class ZAVFiles {
public:
    // A name for a new scratch file or directory: `prefix` followed by 16 random hex digits
    // from getrandom(2).
    static std::string randomName(const std::string &prefix);

    // Writes all of `data` to `fd` at `offset`, retrying short and interrupted writes. `what`
    // names the file in the error.
    static ZAVStatus writeAll(int fd, std::string_view data, off_t offset, const std::string &what);

    // Splits a relative path at '/', dropping empty and "." components (".." is kept: the
    // caller decides about it).
    static std::vector<std::string> components(std::string_view path);
    // The components joined with '/'.
    static std::string joined(const std::vector<std::string> &components);
    // The system's text for an errno value.
    static std::string errorText(int error);
};
