#pragma once

#include <string>

namespace pagelift {

// An advisory lock on a file that only one process holds at a time. It lasts
// while the object lives (or until release) and ends with the process, so a
// copy of the program that crashed never leaves a stale lock behind.
class ExclusiveFileLock {
public:
    ExclusiveFileLock() = default;
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

    // Creates the file when missing and takes the lock without waiting. True
    // when this object holds it (also when it already did); false when
    // another process holds it or the file cannot be made.
    bool tryAcquire(const std::string& path);

    // As tryAcquire, but waits while another process holds the lock. False
    // only when the file cannot be made or locked at all.
    bool acquire(const std::string& path);

    // Gives the lock up; nothing happens when it is not held.
    void release();

    bool held() const { return fd_ >= 0; }

private:
    bool take(const std::string& path, bool wait);

    int fd_ = -1;
};

}  // namespace pagelift
