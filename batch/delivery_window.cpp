#include "batch/delivery_window.h"

#include <chrono>
#include <system_error>

namespace pagelift {

bool DeliveryWindow::ended(const Pending& pending) const
{
    return !pending.delivery.valid() ||
           pending.delivery.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

void DeliveryWindow::add(std::function<void()> delivery, std::function<void()> finish)
{
    Pending pending;
    pending.finish = std::move(finish);
    if (delivery) {
        while (running_ >= width_ && !pending_.empty()) {
            if (pending_.front().delivery.valid()) pending_.front().delivery.wait();
            finishReady(false);
        }
        try {
            pending.delivery = std::async(std::launch::async, delivery);
            ++running_;
        } catch (const std::system_error&) {
            delivery();  // no thread to be had: delivered here, in turn
        }
    }
    pending_.push_back(std::move(pending));
    finishReady(false);
}

void DeliveryWindow::finishReady(bool all)
{
    while (!pending_.empty() && (all || ended(pending_.front()))) {
        Pending pending = std::move(pending_.front());
        pending_.pop_front();
        if (pending.delivery.valid()) {
            pending.delivery.get();
            --running_;
        }
        pending.finish();
    }
}

}  // namespace pagelift
