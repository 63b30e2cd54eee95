#pragma once

#include "ZAVResult.h"

#include <cstddef>
#include <functional>
#include <string>

// The one way a whole file is read into memory: it must be a regular file of at most
// `maxSize` bytes. It is opened without blocking (a FIFO put in its place cannot stall the
// reader) and without becoming a controlling terminal. Fails with EINVAL and the reason "not a
// regular file", with EFBIG and "larger than N bytes", with ELOOP for a link refused, or with
// the errno of the step that failed. Any thread.
class ZAVFileReader {
public:
    enum class Links {
        Follow, // the last component may be a symbolic link
        Refuse, // O_NOFOLLOW: a link there fails with ELOOP
    };

    static ZAVResult<std::string> read(int dirFd, const std::string &path, size_t maxSize,
                                       Links links = Links::Follow);
    static ZAVResult<std::string> read(const std::string &path, size_t maxSize,
                                       Links links = Links::Follow);

    // The way a file of any size is read: from its start to its end in bounded chunks, each
    // handed to `consume` as it comes, so memory does not grow with the file. Fails with the
    // errno of the open or of a read.
    static ZAVStatus stream(const std::string &path,
                            const std::function<void(const char *data, size_t size)> &consume);
    // The same from the open file `fd`, from where it stands to its end; an error names no path.
    static ZAVStatus stream(int fd,
                            const std::function<void(const char *data, size_t size)> &consume);
};
