#include "app/program_start.h"

#include "app/command_line.h"
#include "app/startup.h"
#include "settings/decode_settings.h"
#include "settings/working_paths.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace pagelift {
namespace {

bool isOnlyArgument(int argc, char** argv, const char* option)
{
    return argc == 2 && std::strcmp(argv[1], option) == 0;
}

// Every argument as its own string; none when the vector is empty.
std::vector<std::string> argumentsAfterProgramName(int argc, char** argv)
{
    if (argc < 2) return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace

CommandLineStart startFromCommandLine(int argc, char** argv, const char* programName)
{
    CommandLineStart start;
    if (isOnlyArgument(argc, argv, "--help")) {
        std::fputs(kUsageText, stdout);
        std::fputs(optionsText().c_str(), stdout);
        start.handled = true;
        return start;
    }
    if (isOnlyArgument(argc, argv, "--version")) {
        std::printf("%s (Zoziv Pagelift) %s\n", programName, PAGELIFT_VERSION);
        start.handled = true;
        return start;
    }
    prepareProcess();

    WorkingPaths& paths = processWorkingPaths();
    ConversionOptions options;
    DecodeSettings decode;
    std::string logPath = paths.resultsLog;
    start.parseResult = parseArguments(options, argumentsAfterProgramName(argc, argv), decode, logPath);
    if (logPath != paths.resultsLog) {
        // A log named on the command line gets only its own folder created.
        paths.resultsLog = logPath;
        paths.resultsLogMakesParents = false;
    }
    start.conversionKind = options.conversionKind;
    start.jobs = options.jobs;
    start.decode = decode;
    if (start.parseResult == kParseBadValue) {
        std::fputs(kUsageText, stdout);
        start.handled = true;
        start.exitCode = 2;
        return start;
    }
    if (start.parseResult == kParseConversionSelected) {
        start.handled = true;
        start.exitCode = runCommandLineConversion(options, decode);
    }
    return start;
}

}  // namespace pagelift
