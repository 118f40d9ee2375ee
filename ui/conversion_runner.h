#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace pagelift {

// Owns the one worker thread of the window: a new one starts only once the
// last has ended and been joined, so two runs never overlap, even after the
// window gave up waiting for a stop.
class ConversionRunner {
public:
    ConversionRunner() = default;
    // Waits for a thread still running: nothing it uses may go away under it.
    ~ConversionRunner();
    ConversionRunner(const ConversionRunner&) = delete;
    ConversionRunner& operator=(const ConversionRunner&) = delete;

    // True when no thread is left: none was started, or the last one has
    // ended (it is joined here).
    bool idle();

    // Starts `work` on a new thread. False when a thread is still running or
    // the system cannot start one.
    bool start(std::function<void()> work);

    // Waits at most `limit` for the thread to end; true when it has ended
    // (and is joined) or there is none.
    bool waitUntilEnded(std::chrono::milliseconds limit);

private:
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable endedSignal_;
    bool ended_ = true;
};

}  // namespace pagelift
