// Folder runs: which files the walk lists, where their outputs go, what the
// report says, and that a walk always ends.

#include "settings/decode_settings.h"
#include "settings/working_paths.h"
#include "batch/folder_conversion.h"
#include "platform/folder_search.h"
#include "support/fax_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using faxtest::ScratchFolder;

TEST(Wildcards, MatchLikeTheFolderSearchOfFaxSoftware)
{
    struct Case {
        std::string pattern;
        std::string name;
        bool matches;
    };
    const Case cases[] = {
        {"*.*", "fax", true},        {"*.*", "fax.tif", true},   {"*.*", ".", true},
        {"*.tif", "A.TIF", true},    {"*.tif", "a.tiff", false}, {"*.tif", "tif", false},
        {"fax?.tif", "fax1.tif", true}, {"fax?.tif", "fax.tif", false}, {"*", "", true},
        {"a*b*c", "aXXbYYc", true},  {"a*b*c", "aXXbYY", false}, {"*a*a*a*a*b", std::string(60, 'a'), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(matchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
    }
}

class FolderConversionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!faxtest::toolsAvailable({"/usr/bin/convert", "/usr/bin/pbmtext"})) {
            GTEST_SKIP() << "needs ImageMagick and netpbm (scripts/install-deps.sh --test)";
        }
        source_ = scratch_.file("in");
        // in/a.tif, in/sub/b.tif, in/sub.tif/c.tif, in/old.faxes/fax (no
        // extension: a raw stream), in/notes.txt, in/picture.JPEG
        fs::create_directories(source_ + "/sub");
        fs::create_directories(source_ + "/sub.tif");
        fs::create_directories(source_ + "/old.faxes");
        const std::string page = scratch_.file("page.pbm");
        ASSERT_TRUE(faxtest::renderTextPage(page, "FOLDER RUN", 1, 64, 16));
        ASSERT_EQ(faxtest::runShell("/usr/bin/convert '" + page + "' -compress None '" + source_ + "/a.tif'",
                                    scratch_.path().string())
                      .exitCode,
                  0);
        fs::copy_file(source_ + "/a.tif", source_ + "/sub/b.tif");
        fs::copy_file(source_ + "/a.tif", source_ + "/sub.tif/c.tif");
        faxtest::writeText(source_ + "/old.faxes/fax", "not really fax data");
        faxtest::writeText(source_ + "/notes.txt", "notes");
        faxtest::writeText(source_ + "/picture.JPEG", "a picture");
    }

    std::vector<std::string> listed(const std::string& filter, int32_t subfolders)
    {
        ConversionOptions options;
        options.source = source_;
        options.filter = filter;
        collectFaxFiles(options, source_, subfolders);
        std::sort(options.fileList.begin(), options.fileList.end());
        return options.fileList;
    }

    ScratchFolder scratch_;
    std::string source_;
};

TEST_F(FolderConversionTest, TheWalkListsFaxCandidatesRelativeToTheSource)
{
    using List = std::vector<std::string>;
    EXPECT_EQ(listed("*.*", 0), (List{"a.tif", "picture.JPEG"}));
    EXPECT_EQ(listed("*.*", 1), (List{"a.tif", "old.faxes/fax", "picture.JPEG", "sub.tif/c.tif", "sub/b.tif"}));
    // The filter applies to folders as well: only sub.tif is entered.
    EXPECT_EQ(listed("*.tif", 1), (List{"a.tif", "sub.tif/c.tif"}));
    EXPECT_EQ(listed("*.xyz", 1), List{});

    ConversionOptions options;
    collectFaxFiles(options, "", 1);  // no source folder is not the root folder
    EXPECT_TRUE(options.fileList.empty());
    options.source = scratch_.file("absent");
    collectFaxFiles(options, options.source, 1);
    EXPECT_TRUE(options.fileList.empty());
}

TEST_F(FolderConversionTest, ALinkedFolderLoopDoesNotTrapTheWalk)
{
    fs::create_directory_symlink(source_, source_ + "/sub/back-to-top");
    EXPECT_EQ(listed("*.*", 1).size(), 5u);
}

TEST_F(FolderConversionTest, OutputsGoFlatOrRebuildTheTreeAndTheReportCountsThem)
{
    struct Case {
        const char* name;
        bool keepHierarchy;
        bool keepExtension;
        std::vector<std::string> outputs;  // relative to the destination
    };
    const Case cases[] = {
        {"flat", false, false, {"a.jpg", "b.jpg", "c.jpg"}},
        {"hierarchy", true, false, {"a.jpg", "sub/b.jpg", "sub.tif/c.jpg"}},
        {"keep-extension", false, true, {"a.tif.jpg", "b.tif.jpg", "c.tif.jpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string destination = scratch_.file(std::string("out-") + c.name);
        ConversionOptions options;
        options.source = source_;
        options.destination = destination;
        options.keepHierarchy = c.keepHierarchy ? 1 : 0;
        options.keepExtension = c.keepExtension;
        options.skipExisting = 1;  // a folder run always converts
        std::string report = "earlier text";
        collectFaxFiles(options, source_, 1);
        ASSERT_EQ(convertFolder(options, DecodeSetup{}, report), 0);

        // The report follows the order of the walk, which is the folder's own.
        std::string expected = "Zoziv Pagelift command line mode : convert folder\r\nSource Folder: " + source_ +
                               "\r\nSave Folder: " + destination + "\r\n";
        for (const std::string& entry : options.fileList) {
            const std::string path = source_ + "/" + entry;
            const std::string output = folderOutputPath(options, path);
            if (entry == "picture.JPEG") {
                expected += path + " : already JPEG format, need no converting!\r\n";
            } else if (entry == "old.faxes/fax") {
                expected += path + " --> " + output + " : Failed : " + path + " - Not Fax\r\n";
            } else {
                expected += path + " --> " + output + " : Success !\r\n";
            }
        }
        expected += "\r\n---------\r\nTotal converted FAX files: 3\r\n";
        EXPECT_EQ(report, expected);
        for (const std::string& output : c.outputs) EXPECT_TRUE(fs::exists(destination + "/" + output)) << output;
        // The file without an extension keeps its own name, in its own place.
        EXPECT_FALSE(fs::exists(destination + "/old.jpg"));
    }
}

TEST(FolderOutputPath, CutsTheFileExtensionAndReplacesOnlyTheLeadingSourceFolder)
{
    struct Case {
        int32_t keepHierarchy;
        bool keepExtension;
        std::string source;
        std::string destination;
        std::string path;
        std::string output;
    };
    const Case cases[] = {
        {0, false, "/in", "/out", "/in/a.tif", "/out/a.jpg"},
        {0, true, "/in", "/out", "/in/a.tif", "/out/a.tif.jpg"},
        {0, false, "/in", "/out", "/in/old.faxes/fax", "/out/fax.jpg"},  // a dotted folder is no extension
        {0, false, "/in.x", "/out", "/in.x/fax1", "/out/fax1.jpg"},
        {0, false, "/in", "/out", "/in/sub/b.x.tif", "/out/b.x.jpg"},
        {1, false, "/in", "/out", "/in/old.faxes/fax", "/out/old.faxes/fax.jpg"},
        {1, false, "/in", "/out", "/in/sub/b.tif", "/out/sub/b.jpg"},
        {2, false, "/in", "/out", "/in/sub/b.tif", "/out/b.jpg"},  // only the value 1 keeps the hierarchy
        {1, false, "/in", "/in/out", "/in/sub/b.tif", "/in/out/sub/b.jpg"},  // a destination inside the source
        {1, false, "/in", "/out", "/in/x/in/a.tif", "/out/x/in/a.jpg"},     // the source text again, deeper
        {1, false, "/f", "/out", "/f/x/f/a.tif", "/out/x/f/a.jpg"},
        {1, false, "/in", "/out", "/elsewhere/a.tif", "/out/a.jpg"},         // never outside the destination
    };
    for (const Case& c : cases) {
        ConversionOptions options;
        options.source = c.source;
        options.destination = c.destination;
        options.keepHierarchy = c.keepHierarchy;
        options.keepExtension = c.keepExtension;
        EXPECT_EQ(folderOutputPath(options, c.path), c.output) << c.path << " hierarchy " << c.keepHierarchy;
    }
}

TEST_F(FolderConversionTest, FilesSharingAnOutputNameAreNotConvertedOverEachOther)
{
    // sub/b.tif and sub.tif/b.tif both become b.jpg without the hierarchy;
    // a.tif and a.tiff both become a.jpg without their extensions.
    fs::copy_file(source_ + "/a.tif", source_ + "/sub.tif/b.tif");
    fs::copy_file(source_ + "/a.tif", source_ + "/a.tiff");
    const std::string backup = scratch_.file("backup");
    fs::create_directories(backup);
    ConversionOptions options;
    options.source = source_;
    options.destination = scratch_.file("out");
    options.backupFolder = backup;
    collectFaxFiles(options, source_, 1);
    std::string report;
    ASSERT_EQ(convertFolder(options, DecodeSetup{}, report), 0);

    // Of each pair the file listed first is converted and moved; the other
    // stays where it was, and the report says why.
    int skipped = 0;
    for (const auto& [first, second] : {std::pair<std::string, std::string>{"a.tif", "a.tiff"},
                                        std::pair<std::string, std::string>{"sub/b.tif", "sub.tif/b.tif"}}) {
        const auto position = [&](const std::string& entry) {
            return std::find(options.fileList.begin(), options.fileList.end(), entry) - options.fileList.begin();
        };
        const std::string later = position(first) < position(second) ? second : first;
        EXPECT_TRUE(fs::exists(source_ + "/" + later)) << later;
        const std::string line = source_ + "/" + later + " --> " + folderOutputPath(options, source_ + "/" + later) +
                                 " : Skipped : " + folderOutputPath(options, source_ + "/" + later) +
                                 " already exist!\r\n";
        EXPECT_NE(report.find(line), std::string::npos) << report;
        ++skipped;
    }
    EXPECT_EQ(skipped, 2);
    EXPECT_NE(report.find("Total converted FAX files: 3\r\n"), std::string::npos);
}

TEST_F(FolderConversionTest, AnEmptyDestinationDoesNothing)
{
    ConversionOptions options;
    options.source = source_;
    std::string report = "kept";
    collectFaxFiles(options, source_, 0);
    EXPECT_EQ(convertFolder(options, DecodeSetup{}, report), -1);
    EXPECT_EQ(report, "kept");
}

TEST_F(FolderConversionTest, ConvertedSourcesMoveIntoTheBackupFolder)
{
    const std::string backup = scratch_.file("backup");
    fs::create_directories(backup);
    ConversionOptions options;
    options.source = source_;
    options.destination = scratch_.file("out");
    options.backupFolder = backup;
    collectFaxFiles(options, source_, 1);
    std::string report;
    ASSERT_EQ(convertFolder(options, DecodeSetup{}, report), 0);
    for (const char* name : {"a.tif", "b.tif", "c.tif"}) EXPECT_TRUE(fs::exists(backup + "/" + name)) << name;
    EXPECT_FALSE(fs::exists(source_ + "/a.tif"));
    // What did not open as a fax stays where it was.
    EXPECT_TRUE(fs::exists(source_ + "/old.faxes/fax"));
    EXPECT_TRUE(fs::exists(source_ + "/picture.JPEG"));
}

}  // namespace
}  // namespace pagelift
