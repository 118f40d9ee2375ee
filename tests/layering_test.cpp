// The tree is the pipeline: each folder includes only folders below it, so
// the window sits on the program, the program on the batch driver, and so on
// down to the system layer.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

// Lower numbers lie lower; folders of one level must not include each other.
const std::map<std::string, int> kLevels = {
    {"ui", 8},    {"app", 7},      {"batch", 6},  {"faxdoc", 5},   {"settings", 4}, {"output", 3},
    {"ccitt", 2}, {"ocr", 2},     {"imageout", 2}, {"raster", 1}, {"platform", 0},
};

TEST(Layering, EveryFolderIncludesOnlyFoldersBelowIt)
{
    const fs::path root = PAGELIFT_SOURCE_DIR;
    const std::regex include(R"(^\s*#\s*include\s*"([A-Za-z_]+)/)");
    int files = 0;
    for (const auto& [folder, level] : kLevels) {
        if (!fs::is_directory(root / folder)) continue;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root / folder)) {
            const std::string extension = entry.path().extension().string();
            if (extension != ".h" && extension != ".cpp") continue;
            ++files;
            std::ifstream in(entry.path());
            std::string line;
            std::smatch match;
            while (std::getline(in, line)) {
                if (!std::regex_search(line, match, include)) continue;
                const auto target = kLevels.find(match[1].str());
                if (target == kLevels.end() || target->first == folder) continue;
                EXPECT_LT(target->second, level) << fs::relative(entry.path(), root).string() << ": " << line;
            }
        }
    }
    EXPECT_GT(files, 50);
}

}  // namespace
