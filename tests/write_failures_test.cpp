// Outputs that cannot be written, in every format: each failure names its
// cause and the file in the report, the log and the window's row; the fax
// stays in the source folder, out of the backup folder; nothing
// half-written stays. The system's failures that root or this machine
// cannot bring about (a full disk, a read-only folder) come through the
// partial files' failure switch, so that every case runs anywhere.

#include "output/output_format.h"
#include "platform/partial_file.h"
#include "support/fax_fixtures.h"
#include "ui/conversion_run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using faxtest::ScratchFolder;

// The rows of a run, as the window gets them.
class Rows final : public RunEvents {
public:
    void runPrepared(uint64_t, int) override {}
    void fileStarted(uint64_t, int, const std::string&, const std::string&, const std::string&) override {}
    void fileFinished(uint64_t, int, const FileResult& result) override { results.push_back(result); }
    void runFinished(uint64_t, const RunTally&, const std::string&) override {}
    std::vector<FileResult> results;
};

// Every file under `folder`, by its path below it.
std::vector<std::string> filesUnder(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct FailureCase {
    const char* name;
    PartialFileStep step;
    int error;             // given to the failure switch; 0: the real file system fails
    const char* fax;       // the fax's name in the source folder
    const char* words;     // the cause's words, before ": " and the path
    bool folderIsAFile;    // a file stands where the destination folder should be
};

TEST(WriteFailures, EveryCauseReachesTheReportTheLogAndTheRowAndNothingIsLeft)
{
    const std::string longName = std::string(248, 'n') + ".tif";  // its partial file's name is too long
    const std::vector<FailureCase> cases = {
        {"a full disk", PartialFileStep::Write, ENOSPC, "fax.tif", "No space left on device", false},
        {"a read-only file system", PartialFileStep::Create, EROFS, "fax.tif", "Read-only file system", false},
        {"a folder without write permission", PartialFileStep::Create, EACCES, "fax.tif", "Permission denied", false},
        {"a failing close", PartialFileStep::Close, EIO, "fax.tif", "Input/output error", false},
        {"a name too long", PartialFileStep::Create, 0, longName.c_str(), "File name too long", false},
        {"a file in the destination folder's place", PartialFileStep::Create, 0, "fax.tif", "File exists", true},
    };
    const fs::path sample = fs::path(PAGELIFT_SOURCE_DIR) / "samples" / "letter-g3.tif";
    for (const char* format : {"jpg", "png", "pdf"}) {
        for (const FailureCase& test : cases) {
            SCOPED_TRACE(std::string(format) + ": " + test.name);
            ScratchFolder scratch;
            const fs::path in = scratch.path() / "in";
            const fs::path out = scratch.path() / "out";
            fs::create_directories(in);
            fs::create_directories(scratch.path() / "done");
            fs::copy_file(sample, in / test.fax);
            if (test.folderIsAFile) {
                faxtest::writeText(out.string(), "not a folder");
            } else {
                fs::create_directories(out);
            }
            RunContext context;
            context.options.source = in.string();
            context.options.destination = out.string();
            context.options.backupFolder = scratch.file("done");
            context.options.fileList = {test.fax};
            context.options.outputFormat = outputFormatNamed(format);
            context.logPath = scratch.file("log.txt");
            Rows rows;
            failPartialFilesAt(test.step, test.error);
            runConversion(context, rows, convertFile);
            failPartialFilesAt(test.step, 0);

            ASSERT_EQ(rows.results.size(), 1u);
            const FileResult& row = rows.results.front();
            EXPECT_EQ(row.result, "Not written!");
            EXPECT_EQ(row.cause.rfind(std::string(test.words) + ": " + out.string(), 0), 0u) << row.cause;
            const std::string log = faxtest::readText(context.logPath);
            const std::string line = test.folderIsAFile ? "Failed to create dir : " + out.string() + " (" + test.words + ")"
                                                        : "Error in converting FAX to " +
                                                              std::string(context.options.outputFormat->reportName) +
                                                              "! (" + row.cause + ")";
            EXPECT_NE(log.find(line), std::string::npos) << log;
            // The fax waits in the source folder for a run that can write it.
            EXPECT_TRUE(fs::exists(in / test.fax));
            EXPECT_TRUE(fs::is_empty(scratch.path() / "done"));
            if (test.folderIsAFile) {
                EXPECT_EQ(faxtest::readText(out.string()), "not a folder");
            } else {
                EXPECT_EQ(filesUnder(out), std::vector<std::string>{});
            }
        }
    }
}

}  // namespace
}  // namespace pagelift
