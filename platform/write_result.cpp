#include "platform/write_result.h"

#include <cerrno>
#include <cstring>

namespace pagelift {
namespace {

// The system's words for an error number; strerror's own buffer is shared
// between threads.
std::string systemWords(int error)
{
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace

std::string WriteResult::cause() const
{
    if (written()) return {};
    return words.empty() ? path : path.empty() ? words : words + ": " + path;
}

WriteResult failureOfError(int error, const std::string& path, WriteFailure otherwise)
{
    WriteFailure failure = otherwise;
    if (error == ENOSPC || error == EDQUOT) failure = WriteFailure::NoSpace;
    if (error == EROFS || error == EACCES || error == EPERM) failure = WriteFailure::ReadOnly;
    return {failure, path, systemWords(error)};
}

WriteResult failureOfWords(WriteFailure failure, const std::string& path, std::string words)
{
    return {failure, path, std::move(words)};
}

}  // namespace pagelift
