#pragma once

#include "settings/decode_settings.h"

#include <cstdint>

namespace pagelift {

// What the start of a program made of its command line.
struct CommandLineStart {
    bool handled = false;    // nothing more to do: exit with exitCode
    int exitCode = 0;
    int parseResult = 0;     // when not handled: the parser's result (never 0)
    int32_t conversionKind = 0;  // when not handled: the kind the line selected
    int32_t jobs = 1;            // when not handled: files a run converts at a time (/j=)
    DecodeSettings decode;       // when not handled: the decoding settings the line set
};

// The start shared by every entry point: "--help" and "--version" (the only
// argument) are answered; otherwise the process is prepared and the command
// line parsed, and a fully selected conversion is run like any command-line
// run (report to the log and, unless quiet, to standard output; exit code 0).
// Not handled: the line selected no conversion (or its destination is
// missing), and the caller decides what that means. An option value that
// cannot be used (/j=) is handled, with the usage and exit code 2.
CommandLineStart startFromCommandLine(int argc, char** argv, const char* programName);

}  // namespace pagelift
