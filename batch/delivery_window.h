#pragma once

// Delivering a converted fax mostly waits: for sendmail to start, for the
// mail server's answer, for a hook. A run that delivers lets those waits
// run beside the conversions of the faxes after it, and still finishes each
// fax (its backup move and its event) in list order, after its delivery.

#include <cstddef>
#include <deque>
#include <functional>
#include <future>

namespace pagelift {

class DeliveryWindow {
public:
    // At most `width` deliveries are under way (started and not finished).
    // A window destroyed before finishReady(true) waits for its deliveries
    // but runs no finish.
    explicit DeliveryWindow(size_t width) : width_(width == 0 ? 1 : width) {}
    DeliveryWindow(const DeliveryWindow&) = delete;
    DeliveryWindow& operator=(const DeliveryWindow&) = delete;

    // Starts `delivery` (none: nothing to wait for) on a thread of its own,
    // or here when no thread can be started, and queues `finish`, which runs
    // on this thread once `delivery` has ended and every finish queued
    // before it has run. First waits, finishing in turn, while `width`
    // deliveries are under way. Finishes what is ready.
    void add(std::function<void()> delivery, std::function<void()> finish);

    // Runs the finishes whose turn has come; with `all`, waits for every
    // delivery and runs every finish.
    void finishReady(bool all);

private:
    struct Pending {
        std::future<void> delivery;  // not valid: nothing to wait for
        std::function<void()> finish;
    };
    bool ended(const Pending& pending) const;
    size_t underWay() const;  // deliveries started and not finished

    size_t width_;
    std::deque<Pending> pending_;
};

}  // namespace pagelift
