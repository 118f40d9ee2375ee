// The window's settings file and page values, without any window: how the
// file reads and writes, where it lives, and what the pages make of it.

#include "settings/decode_settings.h"
#include "support/test_files.h"
#include "ui/dialog_units.h"
#include "ui/ini_file.h"
#include "ui/page_values.h"
#include "ui/window_places.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <limits>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using testing::readText;
using testing::ScratchFolder;
using testing::writeText;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(IniFile, ReadsNumbersAndTextsLikeTheProfileFunctions)
{
    const std::string longPath = "/srv/faxes " + std::string(600, 'x') + " last.tif";
    const IniFile file = IniFile::parse(
        "; comment=1\r\n"
        "[Options]\r\n"
        "Plain=12\r\n"
        "  Blanks  =   -7   \r\n"
        "Prefix=75abc\n"
        "Letters=abc\n"
        "Empty=\n"
        "Huge=99999999999\n"
        "Tiny=-99999999999\n"
        "Quoted=\"42\"\n"
        "plain=99\n"  // a second key of the same name: the first counts
        "[main]\n"
        "FaxDir = \"  /srv/in  \" \n"
        "SaveDir='/srv/out'\n"
        "BakDir=\"half\n"
        "Long=" + longPath + "\n"
        "[OPTIONS]\n"
        "Plain=13\n");  // a second section of the same name: the first counts
    struct NumberCase {
        const char* section;
        const char* key;
        int32_t expected;
    };
    const NumberCase numbers[] = {
        {"Options", "Plain", 12}, {"options", "PLAIN", 12}, {"Options", "Blanks", -7}, {"Options", "Prefix", 75},
        {"Options", "Letters", 0}, {"Options", "Empty", 0},  {"Options", "Huge", kMax},  {"Options", "Tiny", kMin},
        {"Options", "Quoted", 42}, {"Options", "Missing", 60}, {"Nowhere", "Plain", 60}, {"Main", "comment", 60},
    };
    for (const NumberCase& c : numbers) {
        EXPECT_EQ(file.readNumber(c.section, c.key, 60), c.expected) << c.section << "/" << c.key;
    }
    EXPECT_EQ(file.readText("Main", "FaxDir", "-"), "  /srv/in  ");
    EXPECT_EQ(file.readText("Main", "SaveDir", "-"), "/srv/out");
    EXPECT_EQ(file.readText("Main", "BakDir", "-"), "\"half");
    EXPECT_EQ(file.readText("Main", "Long", "-"), longPath);  // never cut
    EXPECT_EQ(file.readText("Main", "Missing", "default"), "default");
}

TEST(IniFile, AMissingOrUnreadableFileGivesTheDefaults)
{
    ScratchFolder scratch;
    fs::create_directories(scratch / "folder.ini");
    for (const std::string& path : {scratch.file("absent.ini"), scratch.file("folder.ini"), std::string()}) {
        const IniFile file = IniFile::load(path);
        EXPECT_EQ(readOptionsSection(file).cycleMinutes, 60) << path;
        EXPECT_EQ(file.text(), "") << path;
    }
}

TEST(IniFile, WritesSectionsAndKeysInTheirOrderAndKeepsEverythingElse)
{
    IniFile fresh;
    writeMainSection(fresh, {"/srv/in", "/srv/out", ""});
    writeOptionsSection(fresh, OptionsValues{});
    writeSettingsSection(fresh, SettingsValues{});
    EXPECT_EQ(fresh.text(),
              "[Main]\nFaxDir=/srv/in\nSaveDir=/srv/out\nBakDir=\n\n"
              "[Options]\nDirFile=0\nSubdir=0\nHiberarchy=0\nKeepDate=0\nKeepExt=0\nOptimize=1\nQuality=50\n"
              "Cyclely=0\nCycleMinutes=60\nOcr=0\nOutputFormat=jpg\n\n"
              "[Settings]\nAutoBit=0\nNStdWidth=1\nMinWidth=1728\nThreshold=50\nFlagNum=3\nRawFlag=0\n"
              "Recaculate=0\n");

    IniFile kept = IniFile::parse("; my notes\n[Extra]\nColour=red\n[main]\nfaxdir=old\n# why\nTheme=dark\n\n");
    kept.write("Main", "FaxDir", "/srv/new");
    kept.write("Main", "SaveDir", "/srv/out");
    kept.write("Settings", "AutoBit", "1");
    EXPECT_EQ(kept.text(),
              "; my notes\n[Extra]\nColour=red\n[main]\nfaxdir=/srv/new\n# why\nTheme=dark\nSaveDir=/srv/out\n\n"
              "[Settings]\nAutoBit=1\n");
}

TEST(IniFile, TheOutputFormatIsAFormatsNameInAnyCaseElseJpeg)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "jpg"}, {"[Options]\nOutputFormat=png\n", "png"}, {"[Options]\nOutputFormat=PNG\n", "png"},
        {"[Options]\nOutputFormat=gif\n", "jpg"}, {"[Options]\nOutputFormat=\n", "jpg"},
    };
    for (const auto& [text, format] : cases) {
        EXPECT_EQ(runChoicesOf(readOptionsSection(IniFile::parse(text))).outputFormat->name, format) << text;
    }
}

TEST(IniFile, EveryWrittenValueReadsBackAsItWas)
{
    const std::string values[] = {
        "/srv/in",  "  leading blanks", "trailing blank ", "\"quoted\"", "'single'", "\"only one", "",
        "a=b=c",    "; not a comment",  "[not a section]", std::string(2000, 'y'),
    };
    IniFile file;
    for (const std::string& value : values) {
        file.write("Main", "FaxDir", value);
        EXPECT_EQ(IniFile::parse(file.text()).readText("Main", "FaxDir", "-"), value);
    }
    // Line breaks never make a value spill onto a line of its own.
    file.write("Main", "FaxDir", "/srv/in\r\n[Evil]\nKey=1");
    const IniFile reread = IniFile::parse(file.text());
    EXPECT_EQ(reread.readText("Main", "FaxDir", "-"), "/srv/in  [Evil] Key=1");
    EXPECT_FALSE(reread.value("Evil", "Key").has_value());
}

TEST(IniFile, SavingReplacesTheFileWholeOrNotAtAll)
{
    ScratchFolder scratch;
    const std::string path = scratch.file("config/pagelift/pagelift.ini");  // folders made on the way
    IniFile file;
    file.write("Main", "FaxDir", "/srv/in");
    ASSERT_TRUE(file.save(path));
    EXPECT_EQ(readText(path), "[Main]\nFaxDir=/srv/in\n");
    ::chmod(path.c_str(), 0600);
    file.write("Main", "FaxDir", "/srv/other");
    ASSERT_TRUE(file.save(path));
    EXPECT_EQ(readText(path), "[Main]\nFaxDir=/srv/other\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // the file keeps its permissions
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch / "config/pagelift"), fs::directory_iterator{}), 1);

    if (::geteuid() != 0) {
        ::chmod((scratch / "config/pagelift").c_str(), 0500);
        EXPECT_FALSE(file.save(path));
        ::chmod((scratch / "config/pagelift").c_str(), 0700);
    }
    EXPECT_FALSE(file.save(scratch.file("config/pagelift/pagelift.ini/inside.ini")));
    EXPECT_EQ(readText(path), "[Main]\nFaxDir=/srv/other\n");
}

TEST(PageValues, StoredValuesReachTheTabsAndTheDecodingSettings)
{
    const OptionsValues none = readOptionsSection(IniFile{});
    EXPECT_EQ(none.sourceMode, 0);
    EXPECT_EQ(none.keepExtension, 1);
    EXPECT_EQ(none.optimize, 1);
    EXPECT_EQ(none.quality, 50);
    EXPECT_EQ(none.autoConvert, 0);
    EXPECT_EQ(none.cycleMinutes, 60);
    // A period below a minute would convert all the time: it reads as 1.
    const std::pair<const char*, int32_t> periods[] = {{"0", 1}, {"-5", 1}, {"abc", 1}, {"1", 1}, {"90", 90}};
    for (const auto& [stored, minutes] : periods) {
        const IniFile file = IniFile::parse(std::string("[Options]\nCycleMinutes=") + stored + "\n");
        EXPECT_EQ(readOptionsSection(file).cycleMinutes, minutes) << stored;
    }

    DecodeSettings current;
    current.minWidth = 2048;  // as a command line left it
    current.anyWidth = 0;
    const SettingsValues defaults = readSettingsSection(IniFile{}, current);
    EXPECT_EQ(defaults.minWidth, 2048);
    EXPECT_EQ(defaults.anyWidth, 0);
    EXPECT_EQ(defaults.threshold, 50);
    EXPECT_EQ(defaults.flagNum, 3);

    const IniFile stored = IniFile::parse("[Settings]\nAutoBit=5\nFlagNum=300\nMinWidth=70000\nThreshold=-1\n"
                                          "NStdWidth=1\nRawFlag=1\nRecaculate=2\n");
    SettingsValues values = readSettingsSection(stored, current);
    values.bitOrder = -1;  // AutoBit 5 selects no button, which reads back as -1
    DecodeSettings decode;
    decode.resolution = 300;
    applySettingsValues(values, std::nullopt, decode);
    EXPECT_EQ(decode.bitOrder, 255);
    EXPECT_EQ(decode.flagNum, 44);
    EXPECT_EQ(decode.minWidth, 70000 - 65536);
    EXPECT_EQ(decode.threshold, 65535);
    EXPECT_EQ(decode.rawData, 1);
    EXPECT_EQ(decode.recountLines, 2);
    EXPECT_EQ(decode.resolution, 300);  // no entry chosen: unchanged
    applySettingsValues(values, 2, decode);
    EXPECT_EQ(decode.resolution, 200);

    const std::pair<uint16_t, int> entries[] = {{0, 0}, {1, 1}, {100, 1}, {199, 1}, {200, 2},
                                                {299, 2}, {300, 3}, {400, 4}, {65535, 4}};
    for (const auto& [resolution, entry] : entries) EXPECT_EQ(resolutionEntryFor(resolution), entry) << resolution;

    const std::pair<int32_t, int32_t> shown[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {7, 0}, {-1, 0}};
    for (const auto& [field, box] : shown) EXPECT_EQ(checkBoxShown(field), box) << field;
}

TEST(PageValues, NumberBoxesHoldSignedDecimalNumbersOnly)
{
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"50", 50},        {" 75 ", 75},        {"-3", -3},          {"0", 0},
        {"", std::nullopt}, {"  ", std::nullopt}, {"12abc", std::nullopt}, {"abc", std::nullopt},
        {"-", std::nullopt}, {"+5", std::nullopt}, {"2147483647", kMax}, {"-2147483648", kMin},
        {"2147483648", std::nullopt}, {"99999999999999999999", std::nullopt},
    };
    for (const auto& [text, number] : cases) EXPECT_EQ(readBoxNumber(text), number) << "'" << text << "'";
}

TEST(WindowPlaces, SettingsLiveBesideTheProgramOnlyWhenPutThereOnPurpose)
{
    ScratchFolder scratch;
    const std::string program = scratch.file("bin");
    fs::create_directories(program);
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved != nullptr ? saved : "";
    ::setenv("XDG_CONFIG_HOME", scratch.file("xdg").c_str(), 1);

    EXPECT_EQ(settingsFilePath(program), scratch.file("xdg/pagelift/pagelift.ini"));
    EXPECT_FALSE(fs::exists(program + "/pagelift.ini"));  // nothing is made in the program folder
    writeText(program + "/pagelift.ini", "");
    EXPECT_EQ(settingsFilePath(program), program + "/pagelift.ini");
    EXPECT_EQ(automaticConversionLockPath(program + "/pagelift.ini"), program + "/pagelift.ini.lock");
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored
    EXPECT_EQ(settingsFilePath(scratch.file("elsewhere")).rfind("relative", 0), std::string::npos);

    if (saved != nullptr) {
        ::setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(WindowPlaces, TheHelpPageIsFoundBesideTheProgramOrWhereItIsInstalled)
{
    ScratchFolder scratch;
    fs::create_directories(scratch / "prefix/bin");
    fs::create_directories(scratch / "prefix/share/doc/pagelift");
    fs::create_directories(scratch / "build.dir");
    const std::string installed = scratch.file("prefix/bin/pagelift");
    EXPECT_EQ(helpPagePath(installed), "");
    writeText(scratch.file("prefix/share/doc/pagelift/pagelift.html"), "<html></html>");
    EXPECT_EQ(helpPagePath(installed), scratch.file("prefix/share/doc/pagelift/pagelift.html"));
    writeText(scratch.file("prefix/bin/pagelift.html"), "<html></html>");
    EXPECT_EQ(helpPagePath(installed), scratch.file("prefix/bin/pagelift.html"));
    // A dot in a folder name is no extension.
    writeText(scratch.file("build.dir/pagelift.html"), "<html></html>");
    EXPECT_EQ(helpPagePath(scratch.file("build.dir/pagelift")), scratch.file("build.dir/pagelift.html"));
    EXPECT_EQ(helpPagePath(""), "");
}

TEST(DialogUnits, BecomePixelsFromTheFontsBaseUnits)
{
    EXPECT_EQ(averageCharWidthOfAlphabet(312), 6);  // 6.0
    EXPECT_EQ(averageCharWidthOfAlphabet(338), 7);  // 6.5 rounds up
    EXPECT_EQ(averageCharWidthOfAlphabet(336), 6);  // 6.46
    const DialogBaseUnits base{6, 13};
    const std::pair<int, int> xs[] = {{395, 593}, {4, 6}, {1, 2}, {0, 0}, {325, 488}};
    for (const auto& [units, pixels] : xs) EXPECT_EQ(dialogUnitsToPixelsX(units, base), pixels) << units;
    const std::pair<int, int> ys[] = {{228, 371}, {8, 13}, {1, 2}, {12, 20}};
    for (const auto& [units, pixels] : ys) EXPECT_EQ(dialogUnitsToPixelsY(units, base), pixels) << units;
}

TEST(AutomaticConversion, ThePeriodIsMinutesInMillisecondsWithinWhatATimerTakes)
{
    const std::pair<int32_t, int> cases[] = {
        {1, 60000},  {60, 3600000}, {35791, 2147460000}, {35792, kMax}, {kMax, kMax},
        {0, 60000},  {-1, 60000},   {kMin, 60000},
    };
    for (const auto& [minutes, interval] : cases) EXPECT_EQ(automaticConversionIntervalMs(minutes), interval) << minutes;
}

}  // namespace
}  // namespace pagelift
