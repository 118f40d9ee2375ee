// pliftcmd: converts one fax file, or every fax file of a folder tree, into
// JPEG pages from the command line.

#include "app/command_line.h"
#include "app/program_start.h"

#include <cstdio>

using namespace pagelift;

namespace {

constexpr int kExitUsage = 2;

}  // namespace

int main(int argc, char** argv)
{
    const CommandLineStart start = startFromCommandLine(argc, argv, "pliftcmd");
    if (start.handled) return start.exitCode;

    // There is no window to open instead: show how to call the program. The
    // parser has printed the usage already when nothing was selected.
    if (start.conversionKind != ConversionNone || start.parseResult != kParseNothingToRun) {
        std::fputs(kUsageText, stdout);
    }
    return kExitUsage;
}
