#include "platform/child_process.h"

#include "platform/paths.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
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

// A descriptor closed with the object.
class OwnedDescriptor {
public:
    OwnedDescriptor() = default;
    explicit OwnedDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~OwnedDescriptor() { close(); }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    int get() const { return descriptor_; }
    void close()
    {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = -1;
    }

private:
    int descriptor_ = -1;
};

// The spawn attributes and file actions, released with the object. The
// child's standard input is /dev/null unless `input` names a descriptor,
// and its standard error this process's unless `errors` names one.
class SpawnSetup {
public:
    SpawnSetup(int input = -1, int errors = -1)
    {
        ready_ = posix_spawnattr_init(&attributes_) == 0;
        if (!ready_) return;
        actionsReady_ = posix_spawn_file_actions_init(&actions_) == 0;
        ready_ = actionsReady_ &&
                 posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP) == 0 &&
                 posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
                 (input < 0 ? posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0)
                            : posix_spawn_file_actions_adddup2(&actions_, input, STDIN_FILENO)) == 0 &&
                 (errors < 0 || posix_spawn_file_actions_adddup2(&actions_, errors, STDERR_FILENO) == 0) &&
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
        outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return outcome;
}

// This process's environment with `extra` ("NAME=VALUE") over it.
std::vector<std::string> environmentWith(const std::vector<std::string>& extra)
{
    const auto nameOf = [](const std::string& variable) { return variable.substr(0, variable.find('=')); };
    std::vector<std::string> variables;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        const bool replaced = std::any_of(extra.begin(), extra.end(),
                                          [&](const std::string& given) { return nameOf(given) == nameOf(variable); });
        if (!replaced) variables.push_back(variable);
    }
    variables.insert(variables.end(), extra.begin(), extra.end());
    return variables;
}

// Feeds a child its input and takes its standard error, as far as either
// can go without waiting.
struct Exchange {
    std::string_view input;  // what is left to send
    OwnedDescriptor& inputOurs;
    OwnedDescriptor& errorsOurs;
    std::string errors;

    void step()
    {
        while (inputOurs.get() >= 0 && !input.empty()) {
            const ssize_t sent = ::send(inputOurs.get(), input.data(), input.size(), MSG_NOSIGNAL);
            if (sent > 0) {
                input.remove_prefix(size_t(sent));
            } else if (sent < 0 && errno == EINTR) {
                continue;
            } else {
                if (sent < 0 && errno == EAGAIN) return readErrors();
                input = {};  // the child reads no more
            }
        }
        if (input.empty()) inputOurs.close();  // end of file
        readErrors();
    }

    // Waits at most `time` for the child to take input or give errors; with
    // neither left to exchange, simply that long.
    void wait(std::chrono::milliseconds time) const
    {
        pollfd descriptors[2];
        nfds_t count = 0;
        if (inputOurs.get() >= 0) descriptors[count++] = {inputOurs.get(), POLLOUT, 0};
        if (errorsOurs.get() >= 0) descriptors[count++] = {errorsOurs.get(), POLLIN, 0};
        if (count == 0) {
            std::this_thread::sleep_for(time);
        } else {
            ::poll(descriptors, count, int(std::max<std::chrono::milliseconds::rep>(time.count(), 1)));
        }
    }

    void readErrors()
    {
        char buffer[16384];
        while (errorsOurs.get() >= 0) {
            const ssize_t got = ::read(errorsOurs.get(), buffer, sizeof buffer);
            if (got > 0) {
                errors.append(buffer, size_t(std::min<size_t>(size_t(got), kChildErrorsKept - std::min(errors.size(), kChildErrorsKept))));
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                if (got == 0) errorsOurs.close();
                return;
            }
        }
    }
};

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
    return runChildProcess(program, arguments, limit, ChildIo{});
}

ChildOutcome runChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                             std::chrono::milliseconds limit, const ChildIo& io)
{
    // Standard input through a socket rather than a pipe: a child that stops
    // reading then makes send() fail (MSG_NOSIGNAL) instead of raising
    // SIGPIPE in this process.
    int inputPair[2] = {-1, -1};
    if (!io.input.empty() && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputPair) != 0) return {};
    OwnedDescriptor inputOurs(inputPair[0]);
    OwnedDescriptor inputChilds(inputPair[1]);
    int errorPipe[2] = {-1, -1};
    if (io.keepErrors && ::pipe2(errorPipe, O_CLOEXEC) != 0) return {};
    OwnedDescriptor errorsOurs(errorPipe[0]);
    OwnedDescriptor errorsChilds(errorPipe[1]);
    SpawnSetup setup(inputChilds.get(), errorsChilds.get());
    if (!setup.ready()) return {};
    std::vector<std::string> texts;
    texts.reserve(arguments.size() + 1);
    texts.push_back(program);
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = environmentWith(io.environment);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), setup.actions(), setup.attributes(), argv.data(), envp.data()) != 0) {
        return {};
    }
    inputChilds.close();
    errorsChilds.close();
    if (inputOurs.get() >= 0) ::fcntl(inputOurs.get(), F_SETFL, O_NONBLOCK);
    if (errorsOurs.get() >= 0) ::fcntl(errorsOurs.get(), F_SETFL, O_NONBLOCK);
    Exchange exchange{io.input, inputOurs, errorsOurs, {}};

    // Polled rather than woken by SIGCHLD, which would touch the process's
    // signal handling; the step grows so that short runs end promptly and
    // long ones cost next to nothing.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto step = std::chrono::milliseconds(1);
    int status = 0;
    for (;;) {
        exchange.step();
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) {
            // What it wrote before it ended; a process it left behind may
            // hold the pipe open, so no end of file is waited for.
            exchange.step();
            ChildOutcome outcome = outcomeOf(status);
            outcome.errors = std::move(exchange.errors);
            return outcome;
        }
        if (ended < 0 && errno != EINTR) {
            ::kill(-child, SIGKILL);
            reap(child, status);
            return {};
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        exchange.wait(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min<std::chrono::steady_clock::duration>(step, deadline - now)));
        step = std::min(step * 2, std::chrono::milliseconds(50));
    }
    // The child is not reaped yet, so its process-group id cannot have been
    // reused: the kill reaches only the converter and what it started.
    ::kill(-child, SIGKILL);
    if (!reap(child, status)) return {};
    exchange.step();
    ChildOutcome outcome;
    outcome.end = ChildEnd::TimedOut;
    outcome.errors = std::move(exchange.errors);
    return outcome;
}

}  // namespace pagelift
