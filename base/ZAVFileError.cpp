#include "ZAVFileError.h"

#include <cerrno>
#include <cstring>

ZAVFileError ZAVFileError::fromErrno(std::string path)
{
    const int error = errno != 0 ? errno : EIO;
    return {std::move(path), error, {}};
}

std::string ZAVFileError::reasonText() const
{
    return reason.empty() ? std::string(std::strerror(error)) : reason;
}

std::string ZAVFileError::message() const
{
    return path.empty() ? reasonText() : path + ": " + reasonText();
}
