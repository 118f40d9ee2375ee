#include "batch/delivery_retries.h"

#include <algorithm>
#include <iterator>

namespace pagelift {

namespace {

constexpr auto kGiveUpAfter = std::chrono::hours(48);

}  // namespace

std::optional<DeliveryRetries::Clock::time_point> DeliveryRetries::deferred(const std::string& path,
                                                                           Clock::time_point now)
{
    using std::chrono::minutes;
    const auto found = waiting_.try_emplace(path, Waiting{now, 0}).first;
    Waiting& waiting = found->second;
    if (now - waiting.since >= kGiveUpAfter) {
        waiting_.erase(found);
        return std::nullopt;
    }
    const Clock::duration waits[] = {firstWait_, minutes(5), minutes(15), minutes(60)};
    const Clock::duration wait = waits[std::min<size_t>(size_t(waiting.tries), std::size(waits) - 1)];
    ++waiting.tries;
    return now + wait;
}

void DeliveryRetries::keepOnly(const std::set<std::string>& paths)
{
    std::erase_if(waiting_, [&](const auto& entry) { return paths.count(entry.first) == 0; });
}

}  // namespace pagelift
