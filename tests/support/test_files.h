#pragma once

// What every test needs around files and external programs: a scratch
// folder, whole-file reads and writes, the oracle tools and a way to run
// them, and the replay of stored inputs that once broke a reader.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace pagelift::testing {

// A fresh folder under the system temporary folder, removed with all it holds.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string readText(const std::string& path);
void writeText(const std::string& path, const std::string& text);

// True when the program at this absolute path can be run.
bool toolAvailable(const char* path);

// The first of the tools (absolute paths or names on PATH) that is missing,
// or "" when all are there.
std::string missingTool(std::initializer_list<std::string> tools);

// Runs a program without a shell, its output discarded. Its exit code, or -1
// when it could not be started or did not exit normally.
int runTool(const std::vector<std::string>& arguments);

// Runs a shell command with its output discarded; true when it exits 0.
bool runQuietly(const std::string& command);

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `command` through /bin/sh, capturing both output streams (kept in
// scratchFolder while it runs).
CommandResult runShell(const std::string& command, const std::string& scratchFolder);

// A command-line argument quoted for /bin/sh.
std::string shellQuoted(const std::string& argument);

// Feeds every file of tests/data/<folder> to `read`; returns how many there were.
int forEachStoredInput(const std::string& folder, const std::function<void(const std::vector<uint8_t>&)>& read);

}  // namespace pagelift::testing
