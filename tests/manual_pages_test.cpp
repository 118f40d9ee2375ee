// The manual pages: they render without a warning from groff or man, hold
// the sections a reader looks for, document every option pliftcmd --help
// lists, and are what cmake --install puts into share/man/man1, beside the
// programs and the OCR module they find.

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

namespace pagelift::testing {
namespace {

namespace fs = std::filesystem;

struct ManualPage {
    const char* file;
    std::vector<std::string> mustShow;  // headings and names a reader looks for
};

const std::vector<std::string> kSections = {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS",
                                            "ENVIRONMENT", "FILES", "EXAMPLES", "SEE ALSO"};

std::vector<ManualPage> manualPages()
{
    std::vector<ManualPage> pages = {
        {"pliftcmd.1",
         {"PLIFTCMD(1)", "pagelift/log/plflog.txt", "log/plflog.txt", "pagelift-PID-XXXXXX", "pagelift.ini", "TMPDIR",
          "XDG_STATE_HOME", "PAGELIFT_AWD_CONVERTER", "PAGELIFT_AWD_TIMEOUT", "pagelift(1)"}},
        {"pagelift.1",
         {"PAGELIFT(1)", "pagelift/pagelift.ini", "XDG_CONFIG_HOME", "pagelift/log/plflog.txt", "pagelift-PID-XXXXXX",
          "PAGELIFT_AWD_CONVERTER", "pagelift.html", "pagelift.desktop", "pliftcmd(1)"}},
    };
    for (ManualPage& page : pages) page.mustShow.insert(page.mustShow.end(), kSections.begin(), kSections.end());
    return pages;
}

std::string sourcePage(const char* file)
{
    return std::string(PAGELIFT_SOURCE_DIR) + "/man/" + file;
}

// The page as plain text on lines long enough that no option is broken.
CommandResult renderPlain(const std::string& page, const ScratchFolder& scratch)
{
    return runShell("groff -man -Tascii -ww -rLL=200n -P-cbou " + shellQuoted(page), scratch.path().string());
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The option names pliftcmd --help lists ("/f=", "/i", "--help"): the
// first word of every line that starts with two blanks and a slash or a
// hyphen, cut after its '='.
std::vector<std::string> helpOptions(const std::string& help)
{
    std::vector<std::string> options;
    for (const std::string& line : linesOf(help)) {
        if (line.rfind("  /", 0) != 0 && line.rfind("  --", 0) != 0) continue;
        std::string name = line.substr(2, line.find(' ', 2) - 2);
        if (const size_t equals = name.find('='); equals != std::string::npos) name.resize(equals + 1);
        options.push_back(name);
    }
    return options;
}

// True when the option is named and its value, a blank, a comma or the
// line's end follows.
bool namesOptionAt(const std::string& line, size_t at, const std::string& option)
{
    if (line.compare(at, option.size(), option) != 0) return false;
    const size_t after = at + option.size();
    return option.back() == '=' || after == line.size() || line[after] == ' ' || line[after] == ',';
}

// True when an entry of the rendered OPTIONS section opens with the option,
// alone or in a list ("/m=0, /m=1, /m=2, /relines").
bool documentsOption(const std::vector<std::string>& rendered, const std::string& option)
{
    const std::string indent = "       ";
    bool inOptions = false;
    for (const std::string& line : rendered) {
        if (!line.empty() && line[0] != ' ') inOptions = line == "OPTIONS";
        if (!inOptions || line.rfind(indent, 0) != 0 || line.size() <= indent.size() || line[indent.size()] == ' ') {
            continue;
        }
        if (namesOptionAt(line, indent.size(), option)) return true;
        for (size_t comma = line.find(", "); comma != std::string::npos; comma = line.find(", ", comma + 2)) {
            if (namesOptionAt(line, comma + 2, option)) return true;
        }
    }
    return false;
}

// The installed manual page of a program: compressed as Debian keeps them,
// or as it is where the build found no gzip; "" when there is none.
std::string installedPage(const std::string& prefix, const std::string& name)
{
    for (const char* suffix : {".1.gz", ".1"}) {
        const fs::path page = fs::path(prefix) / "share/man/man1" / (name + suffix);
        if (fs::is_regular_file(page)) return page.string();
    }
    return {};
}

TEST(ManualPages, RenderWithoutWarningsAndShowTheirSections)
{
    if (!missingTool({"groff", "man"}).empty()) GTEST_SKIP() << "needs groff and man (scripts/install-deps.sh --test)";
    const ScratchFolder scratch;
    for (const ManualPage& page : manualPages()) {
        SCOPED_TRACE(page.file);
        const std::string path = sourcePage(page.file);
        const CommandResult groff = runShell("groff -man -Tutf8 -ww -z " + shellQuoted(path), scratch.path().string());
        EXPECT_EQ(groff.exitCode, 0);
        EXPECT_EQ(groff.err, "");

        const CommandResult man =
            runShell("MANWIDTH=80 man --warnings -l " + shellQuoted(path), scratch.path().string());
        EXPECT_EQ(man.exitCode, 0);
        EXPECT_EQ(man.err, "");

        const CommandResult plain = renderPlain(path, scratch);
        ASSERT_EQ(plain.exitCode, 0) << plain.err;
        const std::vector<std::string> lines = linesOf(plain.out);
        for (const std::string& wanted : page.mustShow) {
            const bool isHeading = std::find(kSections.begin(), kSections.end(), wanted) != kSections.end();
            const bool shown = isHeading ? std::find(lines.begin(), lines.end(), wanted) != lines.end()
                                         : plain.out.find(wanted) != std::string::npos;
            EXPECT_TRUE(shown) << "the page does not show " << wanted;
        }
    }
}

TEST(ManualPages, PliftcmdPageDocumentsEveryOptionOfHelp)
{
    if (!missingTool({"groff"}).empty()) GTEST_SKIP() << "needs groff (scripts/install-deps.sh --test)";
    const ScratchFolder scratch;
    const CommandResult help = runShell(shellQuoted(PLIFTCMD_PATH) + " --help", scratch.path().string());
    ASSERT_EQ(help.exitCode, 0);
    const std::vector<std::string> options = helpOptions(help.out);
    ASSERT_GE(options.size(), 20u) << "pliftcmd --help lists fewer options than it has:\n" << help.out;

    const CommandResult plain = renderPlain(sourcePage("pliftcmd.1"), scratch);
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const std::vector<std::string> rendered = linesOf(plain.out);
    for (const std::string& option : options) {
        EXPECT_TRUE(documentsOption(rendered, option)) << "pliftcmd.1 has no entry for " << option;
    }
    // The options the parser takes beyond --help, for older command lines.
    for (const char* option : {"/m=0", "/m=1", "/m=2", "/relines"}) {
        EXPECT_TRUE(documentsOption(rendered, option)) << "pliftcmd.1 has no entry for " << option;
    }
}

TEST(ManualPages, CmakeInstallPutsThemIntoSectionOne)
{
    if (!missingTool({"man"}).empty()) GTEST_SKIP() << "needs man (scripts/install-deps.sh --test)";
    const ScratchFolder scratch;
    const std::string prefix = scratch.file("prefix");
    const std::string command = shellQuoted(PAGELIFT_CMAKE) + " --install " + shellQuoted(PAGELIFT_BINARY_DIR) +
                                " --prefix " + shellQuoted(prefix);
    const CommandResult install = runShell(command, scratch.path().string());
    ASSERT_EQ(install.exitCode, 0) << install.err;

    for (const std::string name : {"pliftcmd", "pagelift"}) {
        SCOPED_TRACE(name);
        const bool built = name == "pliftcmd" || PAGELIFT_WINDOW_BUILT;
        EXPECT_EQ(fs::is_regular_file(fs::path(prefix) / "bin" / name), built);
        const std::string page = installedPage(prefix, name);
        EXPECT_EQ(!page.empty(), built) << "a manual page goes with its program";
        if (page.empty()) continue;
        // Wide enough that the page's one-line summary stays on one line.
        const CommandResult man =
            runShell("MANWIDTH=200 man --warnings -l " + shellQuoted(page), scratch.path().string());
        EXPECT_EQ(man.exitCode, 0);
        EXPECT_EQ(man.err, "");
        EXPECT_NE(man.out.find("convert received fax documents into JPEG or PNG images"), std::string::npos) << man.out;
    }
    EXPECT_TRUE(fs::is_regular_file(fs::path(prefix) / "share/doc/pagelift/copyright"));

    // The installed program finds the installed OCR module: it loads it and
    // asks it for the language.
    if (!std::string(PAGELIFT_BUILT_OCR_MODULE).empty()) {
        const CommandResult ocr = runShell("env -u PAGELIFT_OCR_MODULE " + shellQuoted(prefix + "/bin/pliftcmd") +
                                               " /ocr=zzz /f=" + shellQuoted(PAGELIFT_SOURCE_DIR "/samples/memo-g4.tif") +
                                               " /sf=" + shellQuoted(scratch.file("memo.pdf")),
                                           scratch.path().string());
        EXPECT_EQ(ocr.exitCode, 2);
        EXPECT_NE(ocr.err.find("install the package tesseract-ocr-zzz"), std::string::npos) << ocr.err;
    }

    // The watch service's unit runs the pliftcmd of this install, and
    // systemd takes it as it is: its documentation, command and settings.
    const fs::path unit = fs::path(prefix) / "lib/systemd/system/pagelift-watch@.service";
    ASSERT_TRUE(fs::is_regular_file(unit));
    EXPECT_NE(readText(unit.string()).find("ExecStart=" + prefix + "/bin/pliftcmd "), std::string::npos);
    if (!missingTool({"systemd-analyze"}).empty()) GTEST_SKIP() << "needs systemd-analyze to check the unit";
    const CommandResult verify = runShell("MANPATH=" + shellQuoted(prefix + "/share/man") + " systemd-analyze verify " +
                                              shellQuoted(unit.string()),
                                          scratch.path().string());
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
    EXPECT_EQ(verify.err, "");
}

}  // namespace
}  // namespace pagelift::testing
