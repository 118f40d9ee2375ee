#include "batch/arrivals.h"

#include <algorithm>

namespace pagelift {

void ArrivalTracker::saw(const std::string& path, const FileStamp& stamp, Clock::time_point now,
                         Clock::duration alreadyQuiet)
{
    const auto known = files_.find(path);
    if (known == files_.end()) {
        files_[path] = Entry{stamp, now - std::clamp(alreadyQuiet, Clock::duration::zero(), settle_), now, false};
        return;
    }
    Entry& entry = known->second;
    if (entry.stamp == stamp) {
        entry.notBefore = std::min(entry.notBefore, now);
        return;
    }
    entry = Entry{stamp, now, now, false};
}

void ArrivalTracker::forget(const std::string& path)
{
    files_.erase(path);
}

void ArrivalTracker::keepOnly(const std::set<std::string>& paths)
{
    std::erase_if(files_, [&](const auto& entry) { return paths.count(entry.first) == 0; });
}

ArrivalTracker::Clock::time_point ArrivalTracker::dueAt(const Entry& entry) const
{
    return std::max({entry.quietSince + settle_, entry.notBefore, entry.heldUntil});
}

std::vector<std::string> ArrivalTracker::due(Clock::time_point now) const
{
    std::vector<std::string> ready;
    for (const auto& [path, entry] : files_) {
        if (!entry.handled && dueAt(entry) <= now) ready.push_back(path);
    }
    return ready;
}

std::optional<ArrivalTracker::Clock::time_point> ArrivalTracker::nextDue() const
{
    std::optional<Clock::time_point> next;
    for (const auto& [path, entry] : files_) {
        if (entry.handled) continue;
        if (!next || dueAt(entry) < *next) next = dueAt(entry);
    }
    return next;
}

void ArrivalTracker::handled(const std::string& path, const FileStamp& stamp)
{
    const auto known = files_.find(path);
    if (known != files_.end() && known->second.stamp == stamp) known->second.handled = true;
}

void ArrivalTracker::postpone(const std::string& path, Clock::time_point until)
{
    const auto known = files_.find(path);
    if (known != files_.end()) known->second.notBefore = std::max(known->second.notBefore, until);
}

void ArrivalTracker::dueAgainAt(const std::string& path, const FileStamp& stamp, Clock::time_point when)
{
    const auto known = files_.find(path);
    if (known == files_.end() || known->second.stamp != stamp) return;
    known->second.handled = false;
    known->second.heldUntil = when;
}

std::optional<FileStamp> ArrivalTracker::stampOf(const std::string& path) const
{
    const auto known = files_.find(path);
    if (known == files_.end()) return std::nullopt;
    return known->second.stamp;
}

}  // namespace pagelift
