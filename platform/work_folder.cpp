#include "platform/work_folder.h"

#include "platform/leftovers.h"
#include "platform/paths.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <pthread.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>

namespace pagelift {
namespace {

// The path is kept in a fixed buffer too, because the signal handler may only
// use async-signal-safe calls and cannot touch std::string.
constexpr size_t kPathCapacity = 4096;
char signalSafePath[kPathCapacity];
// The files the program itself puts there; a signal handler cannot list a
// folder, so it removes these by name before the folder.
constexpr const char* kKnownNames[] = {"tmpbmp.tmp", "plftmp.tmp", "bsegtmp.tmp", "tmptif", kWorkFolderLockName};
// Parallel jobs prefix those names with "job<N>-", N from 1 to this count.
volatile sig_atomic_t announcedJobs = 0;
// The window's page preview prefixes them with this, once asked for.
constexpr const char* kPreviewPrefix = "view-";
volatile sig_atomic_t previewAnnounced = 0;

// Appends the decimal digits of `number` at `out`; returns the end.
char* appendDecimalSignalSafe(char* out, unsigned number)
{
    char digits[16];
    size_t count = 0;
    do {
        digits[count++] = char('0' + number % 10);
        number /= 10;
    } while (number != 0 && count < sizeof digits);
    while (count > 0) *out++ = digits[--count];
    return out;
}

void removeKnownFilesSignalSafe()
{
    const size_t length = strlen(signalSafePath);
    if (length == 0) return;
    char file[kPathCapacity + 64];
    // Job -1 stands for the preview's files.
    for (int job = previewAnnounced != 0 ? -1 : 0; job <= announcedJobs; ++job) {
        for (const char* name : kKnownNames) {
            const size_t nameLength = strlen(name);
            if (length + nameLength + 32 > sizeof file) continue;
            memcpy(file, signalSafePath, length);
            char* at = file + length;
            if (job < 0) {
                const size_t prefixLength = strlen(kPreviewPrefix);
                memcpy(at, kPreviewPrefix, prefixLength);
                at += prefixLength;
            } else if (job > 0) {
                memcpy(at, "job", 3);
                at = appendDecimalSignalSafe(at + 3, unsigned(job));
                *at++ = '-';
            }
            memcpy(at, name, nameLength + 1);
            unlink(file);
        }
    }
    rmdir(signalSafePath);
}

void onFatalSignal(int signalNumber)
{
    removeKnownFilesSignalSafe();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// The folder is made when a run first needs it, perhaps long after the
// program took some of these signals as requests to stop (the watcher, the
// window): those keep their handlers, and the program's exit removes the
// folder. An ignored signal stays ignored.
void installCleanup()
{
    std::atexit(removePrivateWorkFolder);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction current {};
        if (sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = onFatalSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, &action, nullptr);
    }
}

// Locks the folder for this process's life: a copy starting later sees the
// lock held and leaves the folder alone; once this process ends, however it
// ends, the lock is free and that copy removes what was left. The lock file
// is locked under another name first and only then given its own, so that
// nobody can find it unlocked. False when it cannot be made.
bool lockFolderForThisProcess(const std::string& folder)
{
    const std::string unnamed = folder + "lock-new";
    const int fd = ::open(unnamed.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // The descriptor stays open, and the lock held, until the process ends.
    if (!lockWhileOpen(fd) || ::rename(unnamed.c_str(), (folder + kWorkFolderLockName).c_str()) != 0) {
        ::unlink(unnamed.c_str());
        ::close(fd);
        return false;
    }
    return true;
}

// The folder's name: the process's number and six random characters,
// chosen without touching the file system. The characters come from the
// system's random source, so that nobody can make the folder first.
std::string chosenFolderName()
{
    static constexpr char kCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string name = "pagelift-" + std::to_string(getpid()) + "-";
    for (int index = 0; index < 6; ++index) name += kCharacters[random() % (sizeof kCharacters - 1)];
    return temporaryFolder() + name + "/";
}

// Makes the chosen folder, private to this user, with its clean-up and its
// lock. False (errno set) when it cannot be made.
bool makeFolder(const std::string& folder)
{
    // A stop signal that comes between making the folder and installing its
    // clean-up waits until the clean-up is there, so it never leaves the
    // folder behind.
    sigset_t stopSignals;
    sigset_t previous;
    sigemptyset(&stopSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&stopSignals, signalNumber);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
    // mkdir fails on anything already there, a link included.
    bool made = folder.size() < kPathCapacity && ::mkdir(folder.c_str(), 0700) == 0;
    if (made) {
        memcpy(signalSafePath, folder.c_str(), folder.size() + 1);
        installCleanup();
        if (!lockFolderForThisProcess(folder)) {
            const int error = errno;
            removePrivateWorkFolder();
            errno = error;
            made = false;
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return made;
}

}  // namespace

const std::string& privateWorkFolder()
{
    static const std::string folder = chosenFolderName();
    return folder;
}

bool makeWorkFolderFor(const std::string& path)
{
    const std::string& folder = privateWorkFolder();
    if (path.compare(0, folder.size(), folder) != 0) return true;
    // Made by whichever job needs it first while the others wait; a folder
    // that could not be made is tried again at the next need.
    static std::mutex making;
    static bool made = false;
    const std::lock_guard<std::mutex> lock(making);
    if (made) return true;
    made = makeFolder(folder);
    if (!made) {
        const int error = errno;
        std::fprintf(stderr, "cannot create a working folder in %s: %s\n", temporaryFolder().c_str(),
                     std::strerror(error));
        errno = error;
    }
    return made;
}

std::string jobFilePrefix(int job)
{
    if (job > announcedJobs) announcedJobs = job;
    return "job" + std::to_string(job) + "-";
}

std::string previewFilePrefix()
{
    previewAnnounced = 1;
    return kPreviewPrefix;
}

void removePrivateWorkFolder()
{
    if (signalSafePath[0] == '\0') return;
    std::error_code ignored;
    std::filesystem::remove_all(signalSafePath, ignored);
    signalSafePath[0] = '\0';
}

}  // namespace pagelift
