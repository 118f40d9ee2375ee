#pragma once

// When a watcher tries a deferred delivery again: after a first wait, then
// after 5, 15 and 60 minutes, then every hour, for two days from the first
// deferral. A mail server down for a night costs a few tries, not hundreds.

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace pagelift {

class DeliveryRetries {
public:
    using Clock = std::chrono::steady_clock;

    explicit DeliveryRetries(Clock::duration firstWait) : firstWait_(firstWait) {}

    // A delivery of the fax at `path` was deferred at `now`. Returns when to
    // try again; none once its deferrals span two days (it is then left to a
    // later run, and forgotten here).
    std::optional<Clock::time_point> deferred(const std::string& path, Clock::time_point now);

    // Its delivery is done, failed for good, or no longer asked for: a later
    // deferral starts the waits over.
    void settled(const std::string& path) { waiting_.erase(path); }

    // Forgets the faxes not among these (gone from the folder).
    void keepOnly(const std::set<std::string>& paths);

private:
    struct Waiting {
        Clock::time_point since;
        int tries = 0;
    };

    Clock::duration firstWait_;
    std::map<std::string, Waiting> waiting_;
};

}  // namespace pagelift
