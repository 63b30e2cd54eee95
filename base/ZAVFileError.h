#pragma once

#include <string>

// A failed step on a file, as a value: the path the step was about (the bytes the caller gave,
// relative to the directory descriptor it used, if any) and the reason. `error` is the errno
// value; `reason`, when set, says what no errno does ("not a regular file"). Copyable; any
// thread.
struct ZAVFileError {
    std::string path;
    int error = 0;
    std::string reason;

    // The current errno (EIO when it is 0) for `path`.
    static ZAVFileError fromErrno(std::string path);

    // `reason`, else the system's text for `error`.
    std::string reasonText() const;
    // "<path>: <reasonText>", or the reason alone without a path.
    std::string message() const;
};
