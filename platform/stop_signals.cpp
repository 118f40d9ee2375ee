#include "platform/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <initializer_list>

namespace pagelift {
namespace {

// Read by every job's thread, set in the handler: a lock-free atomic is
// both safe in a signal handler and free of races between threads.
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);
int wakeRead = -1;
int wakeWrite = -1;

void onStopSignal(int)
{
    const int saved = errno;
    requested.store(true);
    const char byte = 1;
    // Non-blocking: a full pipe already wakes the reader.
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite, &byte, 1);
    errno = saved;
}

}  // namespace

bool takeStopSignalsAsRequests()
{
    if (wakeRead < 0) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
        wakeRead = ends[0];
        wakeWrite = ends[1];
    }
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(signalNumber, &action, nullptr);
    }
    return true;
}

bool stopRequestedBySignal()
{
    return requested.load();
}

int stopRequestDescriptor()
{
    return wakeRead;
}

}  // namespace pagelift
