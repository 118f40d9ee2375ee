#include "support/test_files.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

extern char** environ;

namespace pagelift::testing {

ScratchFolder::ScratchFolder()
{
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("pagelift-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool toolAvailable(const char* path)
{
    return ::access(path, X_OK) == 0;
}

std::string missingTool(std::initializer_list<std::string> tools)
{
    for (const std::string& tool : tools) {
        if (tool.find('/') != std::string::npos) {
            if (!toolAvailable(tool.c_str())) return tool;
        } else if (!runQuietly("command -v " + tool)) {
            return tool;
        }
    }
    return "";
}

int runTool(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool runQuietly(const std::string& command)
{
    const std::string quiet = "(" + command + ") >/dev/null 2>&1";
    return std::system(quiet.c_str()) == 0;
}

std::string shellQuoted(const std::string& argument)
{
    std::string out = "'";
    for (char c : argument) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

CommandResult runShell(const std::string& command, const std::string& scratchFolder)
{
    const std::string out = scratchFolder + "/.stdout";
    const std::string err = scratchFolder + "/.stderr";
    const std::string full = "( " + command + " ) >" + shellQuoted(out) + " 2>" + shellQuoted(err) + " </dev/null";
    const int status = std::system(full.c_str());
    CommandResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readText(out);
    result.err = readText(err);
    return result;
}

int forEachStoredInput(const std::string& folder, const std::function<void(const std::vector<uint8_t>&)>& read)
{
    const std::filesystem::path path = std::filesystem::path(PAGELIFT_SOURCE_DIR) / "tests" / "data" / folder;
    EXPECT_TRUE(std::filesystem::is_directory(path)) << path;
    if (!std::filesystem::is_directory(path)) return 0;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        read(readBytes(entry.path().string()));
        ++inputs;
    }
    return inputs;
}

}  // namespace pagelift::testing
