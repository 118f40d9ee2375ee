#include "batch/delivery_window.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace pagelift {

bool DeliveryWindow::ended(const Pending& pending) const
{
    return !pending.delivery.valid() ||
           pending.delivery.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

size_t DeliveryWindow::underWay() const
{
    return size_t(std::count_if(pending_.begin(), pending_.end(),
                                [](const Pending& pending) { return pending.delivery.valid(); }));
}

void DeliveryWindow::add(std::function<void()> delivery, std::function<void()> finish)
{
    Pending pending;
    pending.finish = std::move(finish);
    if (delivery) {
        while (underWay() >= width_) {
            if (pending_.front().delivery.valid()) pending_.front().delivery.wait();
            finishReady(false);
        }
        try {
            pending.delivery = std::async(std::launch::async, delivery);
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
        if (pending.delivery.valid()) pending.delivery.get();
        pending.finish();
    }
}

}  // namespace pagelift
