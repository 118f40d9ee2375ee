// pliftcmd: converts one fax file, or every fax file of a folder tree, into
// JPEG pages from the command line.

#include "app/command_line.h"
#include "settings/decode_settings.h"
#include "settings/working_paths.h"
#include "app/startup.h"

#include <cstdio>
#include <cstring>

using namespace pagelift;

namespace {

constexpr int kExitUsage = 2;

bool isOnlyArgument(int argc, char** argv, const char* option)
{
    return argc == 2 && std::strcmp(argv[1], option) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (isOnlyArgument(argc, argv, "--help")) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    if (isOnlyArgument(argc, argv, "--version")) {
        std::printf("pliftcmd (Zoziv Pagelift) %s\n", PAGELIFT_VERSION);
        return 0;
    }
    if (!prepareProcess()) return 1;

    WorkingPaths& paths = processWorkingPaths();
    ConversionOptions options;
    std::string logPath = paths.resultsLog;
    const std::string text = joinArguments(argc, argv);
    const int parsed = Parse(options, text.c_str(), processDecodeSettings(), logPath);
    if (logPath != paths.resultsLog) {
        // A log named on the command line gets only its own folder created.
        paths.resultsLog = logPath;
        paths.resultsLogMakesParents = false;
    }

    if (parsed != kParseConversionSelected) {
        // There is no window to open instead: show how to call the program.
        // The parser has printed the usage already when nothing was selected.
        if (options.conversionKind != ConversionNone || parsed != kParseNothingToRun) std::fputs(kUsageText, stdout);
        return kExitUsage;
    }
    return runCommandLineConversion(options);
}
