#include "platform/awd_converter.h"

#include "platform/child_process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace pagelift {
namespace {

// True when nothing is left at `path`: removed now, or never there.
bool removeStaleTarget(const std::string& path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
    struct stat info {};
    return ::lstat(path.c_str(), &info) != 0 && errno == ENOENT;
}

}  // namespace

std::string awdConverterName()
{
    const char* configured = std::getenv(kAwdConverterVariable);
    return configured != nullptr && *configured != '\0' ? configured : kDefaultAwdConverter;
}

std::chrono::seconds awdTimeLimit()
{
    const char* configured = std::getenv(kAwdTimeLimitVariable);
    if (configured == nullptr || *configured == '\0') return kDefaultAwdTimeLimit;
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(configured, &end, 10);
    if (errno != 0 || *end != '\0' || seconds < 1) return kDefaultAwdTimeLimit;
    // Far beyond any conversion, and small enough for any clock arithmetic.
    constexpr long kLongestLimit = 30L * 24 * 3600;
    return std::chrono::seconds(std::min(seconds, kLongestLimit));
}

bool convertAwd(const std::string& source, const std::string& target)
{
    // A target left from an earlier document must never be read as this
    // one's pages.
    if (target.empty() || !removeStaleTarget(target)) return false;
    const std::string program = findProgram(awdConverterName());
    if (program.empty()) return false;
    const ChildOutcome outcome = runChildProcess(program, {"/c", source, target}, awdTimeLimit());
    return outcome.end == ChildEnd::Exited;
}

}  // namespace pagelift
