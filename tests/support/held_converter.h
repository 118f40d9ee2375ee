#pragma once

// Converters for the window's run tests: one that holds every file it is
// given until it is let go (to test stops and starts during a run), and the
// real one.

#include "batch/single_file.h"
#include "ui/conversion_run.h"

#include <condition_variable>
#include <mutex>
#include <string>

namespace pagelift::testing {

class HeldConverter {
public:
    FileConverter converter()
    {
        return [this](const ConversionOptions&, const std::string&, const std::string&, const FileContext&) {
            std::unique_lock<std::mutex> lock(mutex_);
            ++entered_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
            return FileConversion{};
        };
    }
    // True once a file is being held.
    bool holding()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return entered_ > 0;
    }
    void waitUntilHolding()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return entered_ > 0; });
    }
    void release()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int entered_ = 0;
    bool released_ = false;
};

inline FileConverter realConverter() { return convertFile; }

}  // namespace pagelift::testing
