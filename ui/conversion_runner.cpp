#include "ui/conversion_runner.h"

#include <system_error>

namespace pagelift {

ConversionRunner::~ConversionRunner()
{
    if (thread_.joinable()) thread_.join();
}

bool ConversionRunner::idle()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!ended_) return false;
    }
    // The thread has done its work; joining only waits for it to return.
    if (thread_.joinable()) thread_.join();
    return true;
}

bool ConversionRunner::start(std::function<void()> work)
{
    if (!idle()) return false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ended_ = false;
    }
    try {
        thread_ = std::thread([this, work = std::move(work)] {
            work();
            const std::lock_guard<std::mutex> lock(mutex_);
            ended_ = true;
            endedSignal_.notify_all();
        });
    } catch (const std::system_error&) {
        const std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        return false;
    }
    return true;
}

bool ConversionRunner::waitUntilEnded(std::chrono::milliseconds limit)
{
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!endedSignal_.wait_for(lock, limit, [this] { return ended_; })) return false;
    }
    if (thread_.joinable()) thread_.join();
    return true;
}

}  // namespace pagelift
