// The command-line parser: which conversion a text selects, with which
// options, and what it says when it selects none.

#include "app/command_line.h"
#include "support/blank_faxes.h"
#include "support/fax_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <tuple>

namespace pagelift {
namespace {

struct Parsed {
    int result;
    ConversionOptions options;
    DecodeSettings decode;
    std::string log = "default-log";
    std::string out;
    std::string err;
};

// What a parse (`call`, given the record to fill) made, with what it printed.
template <typename ParseCall>
Parsed parsedBy(ParseCall call)
{
    Parsed parsed;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    parsed.result = call(parsed);
    parsed.out = ::testing::internal::GetCapturedStdout();
    parsed.err = ::testing::internal::GetCapturedStderr();
    return parsed;
}

Parsed parse(const char* text)
{
    return parsedBy([&](Parsed& parsed) { return Parse(parsed.options, text, parsed.decode, parsed.log); });
}

TEST(CommandLine, SelectsTheConversionAndKeepsTheCaseOfValues)
{
    struct Case {
        const char* text;
        int32_t kind;
        const char* source;
        const char* destination;
    };
    const Case cases[] = {
        {"/F=/In/A.TIF /SF=/Out/A.JPG", ConversionSingleFile, "/In/A.TIF", "/Out/A.JPG"},
        {"/d=/srv/Faxes /sd=/srv/Jpegs", ConversionFolder, "/srv/Faxes", "/srv/Jpegs"},
        // The last of /sd= and /sf= decides the kind; /d= and /f= both write the source.
        {"/d=a /f=b /sd=c /sf=d", ConversionSingleFile, "b", "d"},
        {"/sf=d /sd=c /f=b /d=a", ConversionFolder, "a", "c"},
        // A quoted value holds blanks; inside the first token it keeps its case too.
        {"/d=\"/srv/My Faxes\" /sd=out", ConversionFolder, "/srv/My Faxes", "out"},
        {"/d=\"/faxes\" /sd=\"/My Out\"", ConversionFolder, "/faxes", "/My Out"},
        // Surrounding white space, several blanks between tokens, unknown tokens.
        {"  \t/f=in.tif    /whatever /raw2 /sf=out.jpg \t ", ConversionSingleFile, "in.tif", "out.jpg"},
        // A value without its closing quote ends at the token; later options count.
        {"/f=\"in.tif /sf=out.jpg", ConversionSingleFile, "in.tif", "out.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Parsed parsed = parse(c.text);
        EXPECT_EQ(parsed.result, kParseConversionSelected);
        EXPECT_EQ(parsed.options.conversionKind, c.kind);
        EXPECT_EQ(parsed.options.source, c.source);
        EXPECT_EQ(parsed.options.destination, c.destination);
        EXPECT_EQ(parsed.out, "");
    }
}

TEST(CommandLine, OptionsAndDecodingSettings)
{
    const Parsed all = parse("/L /Q /KE /I /KH /O /qa=75abc /nw=2048 /RAW /relines /m=2 /b=2 /v=3 "
                             "/filter=*.TIF /bd=/Backup /f=x /sf=y");
    ASSERT_EQ(all.result, kParseConversionSelected);
    EXPECT_TRUE(all.options.keepDate);
    EXPECT_TRUE(all.options.quiet);
    EXPECT_TRUE(all.options.keepExtension);
    EXPECT_EQ(all.options.includeSubfolders, 1);
    EXPECT_EQ(all.options.keepHierarchy, 1);
    EXPECT_TRUE(all.options.optimize);
    EXPECT_EQ(all.options.quality, 75);
    EXPECT_EQ(all.options.filter, "*.TIF");
    EXPECT_EQ(all.options.backupFolder, "/Backup");
    EXPECT_EQ(all.decode.minWidth, 2048);
    EXPECT_EQ(all.decode.anyWidth, 1);
    EXPECT_EQ(all.decode.rawData, 1);
    EXPECT_EQ(all.decode.recountLines, 1);
    EXPECT_EQ(all.decode.decodeMode, 2);
    EXPECT_EQ(all.decode.bitOrder, 2);
    EXPECT_EQ(all.decode.resolution, 300);

    struct Number {
        const char* text;
        int32_t quality;
        uint16_t minWidth;
    };
    const Number numbers[] = {
        {"/qa= /f=x /sf=y", 0, 1728},         {"/qa=-5 /f=x /sf=y", -5, 1728},
        {"/qa=150 /f=x /sf=y", 150, 1728},    {"/nw=70000 /f=x /sf=y", 50, 70000 & 0xFFFF},
        {"/qa=+12x /nw=abc /f=x /sf=y", 12, 0},
    };
    for (const Number& n : numbers) {
        SCOPED_TRACE(n.text);
        const Parsed parsed = parse(n.text);
        EXPECT_EQ(parsed.options.quality, n.quality);
        EXPECT_EQ(parsed.decode.minWidth, n.minWidth);
    }

    // Without /nw= a command line switches the non-standard widths off.
    const Parsed plain = parse("/f=x /sf=y");
    EXPECT_EQ(plain.decode.anyWidth, 0);
    EXPECT_EQ(plain.decode.rawData, 0);
    EXPECT_EQ(plain.decode.bitOrder, 0);
    EXPECT_EQ(plain.decode.resolution, 0);
    EXPECT_EQ(plain.log, "default-log");
    // Files at a time: a whole number up to the limit, or the line is refused.
    struct Jobs {
        const char* text;
        int result;
        int32_t jobs;
    };
    const Jobs jobs[] = {
        {"/d=x /sd=y", kParseConversionSelected, 1},   {"/J=4 /d=x /sd=y", kParseConversionSelected, 4},
        {"/j=0 /d=x /sd=y", kParseConversionSelected, 0}, {"/j=256 /d=x /sd=y", kParseConversionSelected, 256},
        {"/j=257 /d=x /sd=y", kParseBadValue, -1},     {"/j= /d=x /sd=y", kParseBadValue, -1},
        {"/j=-1 /d=x /sd=y", kParseBadValue, -1},      {"/j=2x /d=x /sd=y", kParseBadValue, -1},
        {"/j=99999999999 /d=x /sd=y", kParseBadValue, -1},
    };
    for (const Jobs& j : jobs) {
        SCOPED_TRACE(j.text);
        const Parsed parsed = parse(j.text);
        EXPECT_EQ(parsed.result, j.result);
        EXPECT_EQ(parsed.options.jobs, j.jobs);
        EXPECT_EQ(parsed.err.empty(), j.result != kParseBadValue);
    }
    // Watching a folder, and how long a file must rest before it is taken.
    struct Watch {
        const char* text;
        int result;
        bool watch;
        int32_t settle;
    };
    const Watch watches[] = {
        {"/d=x /sd=y", kParseConversionSelected, false, 2},
        {"/d=x /sd=y /WATCH", kParseConversionSelected, true, 2},
        {"/watch /settle=0 /d=x /sd=y", kParseConversionSelected, true, 0},
        {"/watch /Settle=86400 /d=x /sd=y", kParseConversionSelected, true, 86400},
        {"/watch /settle=86401 /d=x /sd=y", kParseBadValue, true, -1},
        {"/watch /settle=1.5 /d=x /sd=y", kParseBadValue, true, -1},
        {"/watch /settle= /d=x /sd=y", kParseBadValue, true, -1},
        {"/watch /f=x /sf=y.jpg", kParseBadValue, true, 2},
        {"/list /f=x /sf=y.jpg", kParseBadValue, false, 2},
        {"/files=- /f=x /sf=y.jpg", kParseBadValue, false, 2},
    };
    for (const Watch& w : watches) {
        SCOPED_TRACE(w.text);
        const Parsed parsed = parse(w.text);
        EXPECT_EQ(parsed.result, w.result);
        EXPECT_EQ(parsed.options.watch, w.watch);
        EXPECT_EQ(parsed.options.settleSeconds, w.settle);
        EXPECT_EQ(parsed.err.empty(), w.result != kParseBadValue);
    }

    // The output format: /to= in any case, else a single file's extension.
    struct Format {
        const char* text;
        int result;
        const char* format;
    };
    const Format formats[] = {
        {"/d=x /sd=y", kParseConversionSelected, "jpg"},       {"/to=PNG /d=x /sd=y", kParseConversionSelected, "png"},
        {"/f=x /sf=y.Png", kParseConversionSelected, "png"},  {"/f=x /sf=y.tif", kParseConversionSelected, "jpg"},
        {"/to=jpg /f=x /sf=y.png", kParseConversionSelected, "jpg"},
        {"/to=gif /d=x /sd=y", kParseBadValue, "jpg"},        {"/to= /f=x /sf=y.png", kParseBadValue, "jpg"},
    };
    for (const Format& f : formats) {
        SCOPED_TRACE(f.text);
        const Parsed parsed = parse(f.text);
        EXPECT_EQ(parsed.result, f.result);
        EXPECT_EQ(parsed.options.outputFormat->name, f.format);
        EXPECT_EQ(parsed.err, f.result == kParseBadValue ? "/to= takes jpg, png or pdf\n" : "");
    }

    // Resolution tokens are whole tokens: /v=5 and /b=3 mean nothing.
    const Parsed odd = parse("/v=5 /b=3 /v=1 /f=x /sf=y");
    EXPECT_EQ(odd.decode.resolution, 100);
    EXPECT_EQ(odd.decode.bitOrder, 0);
}

TEST(CommandLine, ResetsWhatTheOwnerMayHaveSetButKeepsQualityAndPaths)
{
    Parsed parsed;
    parsed.options.quality = 80;
    parsed.options.source = "kept";
    parsed.options.skipExisting = 1;
    parsed.options.optimize = false;
    parsed.options.filter = "*.x";
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Parse(parsed.options, "/sf=y", parsed.decode, parsed.log), kParseConversionSelected);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(parsed.options.quality, 80);
    EXPECT_EQ(parsed.options.source, "kept");
    EXPECT_EQ(parsed.options.skipExisting, 0);
    EXPECT_TRUE(parsed.options.optimize);
    EXPECT_EQ(parsed.options.filter, "*.*");
}

TEST(CommandLine, TheLogOptionReplacesOrSwitchesOffTheLog)
{
    EXPECT_EQ(parse("/log=/var/log/My Log.txt /f=x /sf=y").log, "/var/log/My");
    EXPECT_EQ(parse("/log=\"/var/log/My Log.txt\" /f=x /sf=y").log, "/var/log/My Log.txt");
    EXPECT_EQ(parse("/log= /f=x /sf=y").log, "");
    const std::string longPath = "/" + std::string(600, 'a') + "/log.txt";
    EXPECT_EQ(parse(("/f=x /sf=y /log=" + longPath).c_str()).log, longPath);
}

TEST(CommandLine, WithoutAConversionTheUsageOrTheDestinationErrorIsShown)
{
    const Parsed none = parse(nullptr);
    EXPECT_EQ(none.result, kParseNoText);
    EXPECT_EQ(none.decode.anyWidth, 1);  // untouched
    const Parsed empty = parse("");
    EXPECT_EQ(empty.result, kParseEmptyText);
    EXPECT_EQ(empty.out, "");

    for (const char* text : {"/q", "/f=a.tif", "nonsense", "\t"}) {
        SCOPED_TRACE(text);
        const Parsed parsed = parse(text);
        EXPECT_EQ(parsed.result, kParseNothingToRun);
        EXPECT_EQ(parsed.out,
                  "Usage: pliftcmd [/q /l] [/b=0 /v=0] /f=source-file /sf=dest-jpeg-file\n"
                  "or\n"
                  "Usage: pliftcmd [/q /l] [/b=0 /v=0] /d=source-directory /sd=dest-directory [/filter=]\n");
    }
    for (const char* text : {"/sd=", "/f=a.tif /sf=", "/sf=\"\""}) {
        SCOPED_TRACE(text);
        const Parsed parsed = parse(text);
        EXPECT_EQ(parsed.result, kParseNothingToRun);
        EXPECT_EQ(parsed.out, "");
        EXPECT_EQ(parsed.err,
                  "ERROR Save Folder\nPlease set save folder with '/sd=' or '/sf=', and be sure it is not the same "
                  "as source folder\n");
    }
}

Parsed parseArgs(const std::vector<std::string>& arguments)
{
    return parsedBy([&](Parsed& parsed) { return parseArguments(parsed.options, arguments, parsed.decode, parsed.log); });
}

// Values a remote caller may choose end up in arguments: whatever they hold,
// they stay the value of their own option.
TEST(CommandLine, EachArgumentIsOneTokenAndItsValueIsTakenAsItIs)
{
    struct Case {
        std::vector<std::string> arguments;
        int32_t kind;
        const char* source;
        const char* destination;
        const char* log;
    };
    const Case cases[] = {
        {{"/f=in/x\" /bd=moved \"y.tif", "/sf=out.jpg"}, ConversionSingleFile, "in/x\" /bd=moved \"y.tif", "out.jpg",
         "default-log"},
        {{"/F=//srv/fax.tif", "/SF=/out/A b.jpg"}, ConversionSingleFile, "//srv/fax.tif", "/out/A b.jpg",
         "default-log"},
        // Quotes are part of the value; a value may look like an option.
        {{"/f=\"quoted\"", "/sf=\" /bd=X \""}, ConversionSingleFile, "\"quoted\"", "\" /bd=X \"", "default-log"},
        {{"/f= a.tif /bd=moved ", "/sf=/q"}, ConversionSingleFile, " a.tif /bd=moved ", "/q", "default-log"},
        {{"/d=/srv/My Faxes", "/sd=/bd=x", "/log=/tmp/a \"b\"/log.txt"}, ConversionFolder, "/srv/My Faxes", "/bd=x",
         "/tmp/a \"b\"/log.txt"},
        // Two options in one argument are one unknown token, ignored.
        {{"/q /bd=moved", "/f=a", "/sf=b"}, ConversionSingleFile, "a", "b", "default-log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const Parsed parsed = parseArgs(c.arguments);
        EXPECT_EQ(parsed.result, kParseConversionSelected);
        EXPECT_EQ(parsed.options.conversionKind, c.kind);
        EXPECT_EQ(parsed.options.source, c.source);
        EXPECT_EQ(parsed.options.destination, c.destination);
        EXPECT_EQ(parsed.log, c.log);
        EXPECT_EQ(parsed.options.backupFolder, "");
        EXPECT_FALSE(parsed.options.quiet);
    }
}

// The argument form reads what the one-string form reads when no value
// holds a blank: every option, check and message is the same.
TEST(CommandLine, ArgumentsAndTheOneStringFormAgree)
{
    const char* const lines[] = {
        "/L /Q /KE /I /KH /O /qa=75abc /nw=2048 /RAW /relines /m=2 /b=2 /v=3 /filter=*.TIF /bd=/Backup /f=x /sf=y",
        "/J=0 /watch /Settle=86400 /to=PNG /files=- /d=x /sd=y /log=/tmp/l.txt",
        "/ocr /i /d=x /sd=y",
        "/ocr=eng+deu /f=x /sf=y.pdf",
        "/j=257 /d=x /sd=y",
        "/settle=1.5 /d=x /sd=y",
        "/ocr= /d=x /sd=y",
        "/to=gif /d=x /sd=y",
        "/list /f=x /sf=y.jpg",
        "/f=a.tif /SF=",
        "/q nonsense",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        std::vector<std::string> arguments;
        std::istringstream words(line);
        for (std::string word; words >> word;) arguments.push_back(word);
        const Parsed text = parse(line);
        const Parsed args = parseArgs(arguments);
        EXPECT_EQ(args.result, text.result);
        EXPECT_EQ(args.out, text.out);
        EXPECT_EQ(args.err, text.err);
        EXPECT_EQ(args.log, text.log);
        const ConversionOptions& a = args.options;
        const ConversionOptions& t = text.options;
        EXPECT_EQ(std::tie(a.conversionKind, a.source, a.destination, a.backupFolder, a.filter, a.listedFiles,
                           a.ocrLanguages, a.outputFormat, a.quality, a.jobs, a.settleSeconds),
                  std::tie(t.conversionKind, t.source, t.destination, t.backupFolder, t.filter, t.listedFiles,
                           t.ocrLanguages, t.outputFormat, t.quality, t.jobs, t.settleSeconds));
        EXPECT_EQ(std::tie(a.keepDate, a.quiet, a.keepExtension, a.includeSubfolders, a.keepHierarchy, a.watch,
                           a.listGroups),
                  std::tie(t.keepDate, t.quiet, t.keepExtension, t.includeSubfolders, t.keepHierarchy, t.watch,
                           t.listGroups));
        const DecodeSettings& ad = args.decode;
        const DecodeSettings& td = text.decode;
        EXPECT_EQ(std::tie(ad.anyWidth, ad.minWidth, ad.rawData, ad.recountLines, ad.decodeMode, ad.bitOrder,
                           ad.resolution),
                  std::tie(td.anyWidth, td.minWidth, td.rawData, td.recountLines, td.decodeMode, td.bitOrder,
                           td.resolution));
    }
    const Parsed none = parseArgs({});
    EXPECT_EQ(none.result, kParseEmptyText);
    EXPECT_EQ(none.decode.anyWidth, 1);  // untouched
    EXPECT_EQ(none.out, "");
}

// The program itself, given a fax whose folder name reads like an option:
// the fax is converted from where it is, and nothing is moved.
TEST(CommandLine, TheProgramTakesAValueThatLooksLikeOptionsAsOnePath)
{
    faxtest::ScratchFolder scratch;
    const std::filesystem::path folder = scratch / "x\" /bd=moved \"";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(scratch / "moved");
    const std::string fax = (folder / "fax.tif").string();
    testing::writeBytes(fax, testing::blankGroup4Tiff({{1728, 200, 200, 200}}));
    const std::string out = scratch.file("out.jpg");

    const faxtest::CommandResult result = faxtest::runPliftcmd({"/f=" + fax, "/sf=" + out, "/log="},
                                                               scratch.path().string());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("convert file\n" + fax + " --> " + out + " : "), std::string::npos) << result.out;
    EXPECT_TRUE(std::filesystem::exists(fax));
    EXPECT_TRUE(std::filesystem::is_empty(scratch / "moved"));
    EXPECT_TRUE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace pagelift
