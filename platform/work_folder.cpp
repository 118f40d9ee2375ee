#include "platform/work_folder.h"

#include "platform/paths.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace pagelift {
namespace {

// The path is kept in a fixed buffer too, because the signal handler may only
// use async-signal-safe calls and cannot touch std::string.
constexpr size_t kPathCapacity = 4096;
char signalSafePath[kPathCapacity];
// The files the program itself puts there; a signal handler cannot list a
// folder, so it removes these by name before the folder.
constexpr const char* kKnownNames[] = {"tmpbmp.tmp", "plftmp.tmp", "bsegtmp.tmp", "tmptif"};

void removeKnownFilesSignalSafe()
{
    const size_t length = strlen(signalSafePath);
    if (length == 0) return;
    char file[kPathCapacity + 32];
    for (const char* name : kKnownNames) {
        const size_t nameLength = strlen(name);
        if (length + nameLength + 1 > sizeof file) continue;
        memcpy(file, signalSafePath, length);
        memcpy(file + length, name, nameLength + 1);
        unlink(file);
    }
    rmdir(signalSafePath);
}

void onFatalSignal(int signalNumber)
{
    removeKnownFilesSignalSafe();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void installCleanup()
{
    std::atexit(removePrivateWorkFolder);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction action {};
        action.sa_handler = onFatalSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, &action, nullptr);
    }
}

std::string createFolder()
{
    std::string pattern = temporaryFolder() + "pagelift-" + std::to_string(getpid()) + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // A stop signal that comes between making the folder and installing its
    // clean-up waits until the clean-up is there, so it never leaves the
    // folder behind.
    sigset_t stopSignals;
    sigset_t previous;
    sigemptyset(&stopSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&stopSignals, signalNumber);
    sigprocmask(SIG_BLOCK, &stopSignals, &previous);
    std::string folder;
    if (mkdtemp(buffer.data()) != nullptr) {
        folder = std::string(buffer.data()) + "/";
        if (folder.size() < kPathCapacity) memcpy(signalSafePath, folder.c_str(), folder.size() + 1);
        installCleanup();
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return folder;
}

}  // namespace

const std::string& privateWorkFolder()
{
    static const std::string folder = createFolder();
    return folder;
}

void removePrivateWorkFolder()
{
    if (signalSafePath[0] == '\0') return;
    std::error_code ignored;
    std::filesystem::remove_all(signalSafePath, ignored);
    signalSafePath[0] = '\0';
}

}  // namespace pagelift
