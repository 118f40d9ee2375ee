// Which files of a watched folder are due: quiet for the settle time, not
// held back, and not converted already in their present state.

#include "batch/arrivals.h"
#include "batch/delivery_retries.h"
#include "batch/delivery_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace pagelift {
namespace {

using namespace std::chrono_literals;
using Clock = ArrivalTracker::Clock;

struct Step {
    enum Kind { Saw, Handled, Postpone, DueAgain, Forget, Due } kind;
    const char* path;
    int64_t size = 0;   // the stamp, by its size alone (Saw, Handled, DueAgain)
    int milliseconds = 0;  // when (Saw, Due), until when (Postpone, DueAgain)
    int alreadyQuiet = 0;  // Saw: what its times tell, in milliseconds
    std::vector<std::string> due = {};  // Due: what is due then
};

TEST(ArrivalTracker, FilesAreDueOnceQuietForTheSettleTimeAndOnlyOncePerState)
{
    using S = Step;
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"a new file waits for the settle time",
         {{S::Saw, "a", 10, 0}, {S::Due, "", 0, 1999}, {S::Due, "", 0, 2000, 0, {"a"}}}},
        {"every change starts the wait over",
         {{S::Saw, "a", 10, 0}, {S::Saw, "a", 20, 1500}, {S::Due, "", 0, 3000}, {S::Due, "", 0, 3500, 0, {"a"}}}},
        {"a sighting without a change does not",
         {{S::Saw, "a", 10, 0}, {S::Saw, "a", 10, 1500}, {S::Due, "", 0, 2000, 0, {"a"}}}},
        {"a file found quiet already is due at once",
         {{S::Saw, "a", 10, 0, 60000}, {S::Due, "", 0, 0, 0, {"a"}}}},
        {"what its times tell counts up to the settle time only",
         {{S::Saw, "a", 10, 0, 500}, {S::Due, "", 0, 1499}, {S::Due, "", 0, 1500, 0, {"a"}}}},
        {"handled in its state, a file is not due again",
         {{S::Saw, "a", 10, 0, 5000}, {S::Handled, "a", 10}, {S::Saw, "a", 10, 9000}, {S::Due, "", 0, 9000}}},
        {"rewritten after its conversion, it is due again",
         {{S::Saw, "a", 10, 0, 5000}, {S::Handled, "a", 10}, {S::Saw, "a", 30, 100}, {S::Due, "", 0, 2100, 0, {"a"}}}},
        {"changed during its conversion, it stays due",
         {{S::Saw, "a", 10, 0, 5000}, {S::Saw, "a", 30, 100}, {S::Handled, "a", 10}, {S::Due, "", 0, 2100, 0, {"a"}}}},
        {"held by a writer, it waits until the postponement ends",
         {{S::Saw, "a", 10, 0, 5000}, {S::Postpone, "a", 0, 5000}, {S::Due, "", 0, 4999}, {S::Due, "", 0, 5000, 0, {"a"}}}},
        {"an event ends a postponement",
         {{S::Saw, "a", 10, 0, 5000}, {S::Postpone, "a", 0, 5000}, {S::Saw, "a", 10, 1000}, {S::Due, "", 0, 1000, 0, {"a"}}}},
        {"a delivery to try again makes it due at that time, whatever is seen meanwhile",
         {{S::Saw, "a", 10, 0, 5000}, {S::Handled, "a", 10}, {S::DueAgain, "a", 10, 60000}, {S::Saw, "a", 10, 30000},
          {S::Due, "", 0, 59999}, {S::Due, "", 0, 60000, 0, {"a"}}}},
        {"a fax rewritten since is due as any rewritten fax",
         {{S::Saw, "a", 10, 0, 5000}, {S::Handled, "a", 10}, {S::DueAgain, "a", 10, 60000}, {S::Saw, "a", 20, 1000},
          {S::Due, "", 0, 3000, 0, {"a"}}}},
        {"a time to try again for a state gone by is not taken",
         {{S::Saw, "a", 10, 0, 5000}, {S::Saw, "a", 20, 100}, {S::Handled, "a", 20}, {S::DueAgain, "a", 10, 4000},
          {S::Due, "", 0, 9000}}},
        {"a file gone is forgotten",
         {{S::Saw, "a", 10, 0, 5000}, {S::Forget, "a"}, {S::Due, "", 0, 9000}}},
        {"due files come in the order of their paths",
         {{S::Saw, "fax00002.tif", 1, 0, 5000}, {S::Saw, "fax00010.tif", 1, 0, 5000}, {S::Saw, "fax00001.tif", 1, 0, 5000},
          {S::Due, "", 0, 0, 0, {"fax00001.tif", "fax00002.tif", "fax00010.tif"}}}},
    };
    const Clock::time_point start{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArrivalTracker tracker(2s);
        for (const Step& step : c.steps) {
            const Clock::time_point at = start + std::chrono::milliseconds(step.milliseconds);
            const FileStamp stamp{step.size, 0, 0};
            switch (step.kind) {
            case Step::Saw: tracker.saw(step.path, stamp, at, std::chrono::milliseconds(step.alreadyQuiet)); break;
            case Step::Handled: tracker.handled(step.path, stamp); break;
            case Step::Postpone: tracker.postpone(step.path, at); break;
            case Step::DueAgain: tracker.dueAgainAt(step.path, stamp, at); break;
            case Step::Forget: tracker.forget(step.path); break;
            case Step::Due:
                EXPECT_EQ(tracker.due(at), step.due) << "at " << step.milliseconds << " ms";
                // The wait never ends before the next file is due.
                if (const auto next = tracker.nextDue(); next && step.due.empty()) {
                    EXPECT_GT(*next, at);
                }
                break;
            }
        }
    }
}

// The waits between tries of a deferred delivery, and the end of them.
TEST(DeliveryRetries, WaitTheFirstWaitThenFiveFifteenAndSixtyMinutesThenHourlyForTwoDays)
{
    using std::chrono::minutes;
    DeliveryRetries retries(10s);
    const Clock::time_point start{};
    Clock::time_point now = start;
    std::vector<Clock::duration> waits;
    while (const auto again = retries.deferred("a", now)) {
        waits.push_back(*again - now);
        now = *again;
        ASSERT_LT(waits.size(), 100u);
    }
    // 10 s, 5, 15 and 60 minutes (1 h 20 min 10 s), then 47 hours: the 48th
    // hour after the first deferral ends it.
    ASSERT_EQ(waits.size(), 51u);
    EXPECT_EQ(std::vector<Clock::duration>(waits.begin(), waits.begin() + 5),
              (std::vector<Clock::duration>{10s, minutes(5), minutes(15), minutes(60), minutes(60)}));
    EXPECT_EQ(waits.back(), minutes(60));
    EXPECT_GE(now - start, std::chrono::hours(48));
    // Given up, it starts over when deferred again; so does a fax settled.
    EXPECT_EQ(retries.deferred("a", now), now + 10s);
    EXPECT_EQ(retries.deferred("b", now), now + 10s);
    retries.settled("b");
    EXPECT_EQ(retries.deferred("b", now + 1s), now + 11s);
    retries.keepOnly({"a"});  // b is gone from the folder
    EXPECT_EQ(retries.deferred("b", now + 2s), now + 12s);
    EXPECT_EQ(retries.deferred("a", now + 1s), now + 1s + minutes(5));
}

// Deliveries overlap, at most `width` at a time, and files still finish in
// the order they came, those without a delivery waiting their turn.
TEST(DeliveryWindow, DeliveriesOverlapUpToItsWidthAndFilesFinishInOrder)
{
    for (const size_t width : {size_t(1), size_t(3)}) {
        SCOPED_TRACE("width " + std::to_string(width));
        std::atomic<int> running{0};
        std::atomic<int> most{0};
        std::vector<int> finished;
        DeliveryWindow window(width);
        // Later deliveries end sooner; every third file has none.
        for (int file = 0; file < 9; ++file) {
            std::function<void()> delivery;
            if (file % 3 != 2) {
                delivery = [&, file] {
                    const int now = ++running;
                    for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(40 - 4 * file));
                    --running;
                };
            }
            window.add(delivery, [&, file] { finished.push_back(file); });
        }
        window.finishReady(true);
        EXPECT_EQ(finished, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
        EXPECT_LE(most.load(), int(width));
        if (width > 1) {
            EXPECT_GT(most.load(), 1);
        }
    }
}

}  // namespace
}  // namespace pagelift
