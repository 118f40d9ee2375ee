// The recipe that spreads a folder tree over several machines (GNU parallel,
// here with job slots of this machine standing in for them) gives what one
// folder run gives: the same JPEG files, byte for byte, and the same report.

#include "support/fax_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace pagelift::testing {
namespace {

namespace fs = std::filesystem;

// Every file below `root`, by its path relative to it, with its bytes.
std::map<std::string, std::vector<uint8_t>> treeOf(const fs::path& root)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = readBytes(entry.path().string());
    }
    return files;
}

// The report's lines with the destination folder written as DEST, in order
// of their text: the recipe reports in file-name order, a folder run in the
// order the folder lists its files.
std::vector<std::string> reportLines(const std::string& report, const std::string& destination)
{
    std::vector<std::string> lines;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        for (size_t at = line.find(destination); at != std::string::npos; at = line.find(destination, at)) {
            line.replace(at, destination.size(), "DEST");
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(SplitRun, JobSlotsGiveWhatOneFolderRunGives)
{
    if (!missingTool({"parallel"}).empty()) GTEST_SKIP() << "needs GNU parallel";
    const ScratchFolder scratch;
    const fs::path source = scratch / "faxes";
    fs::create_directories(source / "from the office");
    for (const fs::directory_entry& sample : fs::directory_iterator(fs::path(PAGELIFT_SOURCE_DIR) / "samples")) {
        fs::copy_file(sample.path(), source / sample.path().filename());
        fs::copy_file(sample.path(), source / "from the office" / ("copy of " + sample.path().filename().string()));
    }
    writeText((source / "notes.txt").string(), "not a fax");
    writeText((source / "from the office" / "scan.jpg").string(), "already a picture");
    writeText((source / "from the office" / "broken.tif").string(), "no TIFF at all");

    const std::string serial = (scratch / "serial").string();
    const std::string spread = (scratch / "spread").string();
    const faxtest::CommandResult one = faxtest::runShell(
        PLIFTCMD_PATH " /log= /i /kh /qa=80 " + shellQuoted("/d=" + source.string()) + " " + shellQuoted("/sd=" + serial),
        scratch.path().string());
    ASSERT_EQ(one.exitCode, 0) << one.err;
    const faxtest::CommandResult many = faxtest::runShell(
        "PLIFTCMD=" PLIFTCMD_PATH " " PAGELIFT_SOURCE_DIR "/scripts/split-run.sh -S 3/: " + shellQuoted(source.string()) +
            " " + shellQuoted(spread) + " /qa=80",
        scratch.path().string());
    ASSERT_EQ(many.exitCode, 0) << many.err;

    const auto serialFiles = treeOf(serial);
    EXPECT_GT(serialFiles.size(), 10u);
    EXPECT_TRUE(serialFiles == treeOf(spread)) << "the JPEG files differ";
    EXPECT_EQ(reportLines(many.out, spread), reportLines(one.out, serial));
}

}  // namespace
}  // namespace pagelift::testing
