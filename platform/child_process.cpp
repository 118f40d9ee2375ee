#include "platform/child_process.h"

#include "platform/paths.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace pagelift {
namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string currentFolder()
{
    std::vector<char> buffer(4096);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
        if (errno != ERANGE || buffer.size() > (size_t{1} << 20)) return "";
        buffer.resize(buffer.size() * 2);
    }
}

// The spawn attributes and file actions, released with the object.
class SpawnSetup {
public:
    SpawnSetup()
    {
        ready_ = posix_spawnattr_init(&attributes_) == 0;
        if (!ready_) return;
        actionsReady_ = posix_spawn_file_actions_init(&actions_) == 0;
        ready_ = actionsReady_ &&
                 posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP) == 0 &&
                 posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
                 posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
                 posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0;
    }
    ~SpawnSetup()
    {
        if (actionsReady_) posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool ready() const { return ready_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }

private:
    posix_spawnattr_t attributes_{};
    posix_spawn_file_actions_t actions_{};
    bool ready_ = false;
    bool actionsReady_ = false;
};

ChildOutcome outcomeOf(int status)
{
    ChildOutcome outcome;
    if (WIFEXITED(status)) {
        outcome.end = ChildEnd::Exited;
        outcome.exitCode = WEXITSTATUS(status);
    } else {
        outcome.end = ChildEnd::Signalled;
    }
    return outcome;
}

// Reaps the child, retrying when a signal interrupts the wait. False when
// the wait fails.
bool reap(pid_t child, int& status)
{
    for (;;) {
        if (::waitpid(child, &status, 0) == child) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace

std::string findProgram(const std::string& name)
{
    if (name.empty()) return "";
    if (name.find('/') != std::string::npos) {
        const std::string path = name.front() == '/' ? name : joinPath(currentFolder(), name);
        return isExecutableFile(path) ? path : "";
    }
    const char* searchPath = std::getenv("PATH");
    if (searchPath == nullptr) return "";
    const std::string folders = searchPath;
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty() && folder.front() == '/') {
            const std::string candidate = joinPath(folder, name);
            if (isExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return "";
}

ChildOutcome runChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                             std::chrono::milliseconds limit)
{
    SpawnSetup setup;
    if (!setup.ready()) return {};
    std::vector<std::string> texts;
    texts.reserve(arguments.size() + 1);
    texts.push_back(program);
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), setup.actions(), setup.attributes(), argv.data(), environ) != 0) {
        return {};
    }

    // Polled rather than woken by SIGCHLD, which would touch the process's
    // signal handling; the step grows so that short runs end promptly and
    // long ones cost next to nothing.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto step = std::chrono::milliseconds(1);
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) return outcomeOf(status);
        if (ended < 0 && errno != EINTR) {
            ::kill(-child, SIGKILL);
            reap(child, status);
            return {};
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(step, deadline - now));
        step = std::min(step * 2, std::chrono::milliseconds(50));
    }
    // The child is not reaped yet, so its process-group id cannot have been
    // reused: the kill reaches only the converter and what it started.
    ::kill(-child, SIGKILL);
    if (!reap(child, status)) return {};
    ChildOutcome outcome;
    outcome.end = ChildEnd::TimedOut;
    return outcome;
}

}  // namespace pagelift
