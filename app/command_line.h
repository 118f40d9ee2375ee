#pragma once

#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <string>

namespace pagelift {

// Parser results.
constexpr int kParseConversionSelected = 0;
constexpr int kParseNoText = -1;
constexpr int kParseEmptyText = -2;
constexpr int kParseBadValue = -3;       // an option's value cannot be used (the reason is on standard error)
constexpr int kParseNothingToRun = 126;  // no conversion selected, or its destination missing

// The most files a folder run converts at a time (/j=).
constexpr int32_t kMaxJobs = 256;

// The longest settle time /settle= takes, in seconds (a day).
constexpr int32_t kMaxSettleSeconds = 86400;

// The two usage lines, printed whenever a command line selects nothing.
extern const char* const kUsageText;
// What --help prints after them: every option, the exit status, the log.
extern const char* const kOptionsText;

// Reads the command line (without the program name) into `options`, the
// decoding settings and the results-log path. Option names are matched
// without regard to case; values keep theirs. Unknown tokens are ignored.
// Returns 0 when a conversion with a destination is selected; -1 for no
// text (null), -2 for an empty text, both leaving `decode` untouched; -3
// when /j= holds no job count from 0 to kMaxJobs, /settle= no number of
// seconds from 0 to kMaxSettleSeconds, or /watch comes with /f=; 126
// when nothing is selected (the usage text is written to standard output) or
// the destination is empty (the destination error is shown).
int Parse(ConversionOptions& options, const char* text, DecodeSettings& decode, std::string& logPath);

// The text handed to the parser for an argument vector: the arguments after
// the program name joined with single spaces. An argument holding a blank has
// its option value wrapped in double quotes ("/d=/srv/My Faxes" becomes
// /d="/srv/My Faxes") so that it stays one value; an argument with a blank
// that is no "/name=value" option could only split into stray tokens and is
// left out.
std::string joinArguments(int argc, const char* const* argv);

}  // namespace pagelift
