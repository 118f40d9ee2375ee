#pragma once

#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <string>
#include <vector>

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
constexpr int32_t kMaxHookSeconds = 86400;
constexpr int32_t kMaxRetrySeconds = 86400;

// The two usage lines, printed whenever a command line selects nothing.
extern const char* const kUsageText;
// What --help prints after them: every option (the output formats as the
// output table lists them), the exit status, the log.
std::string optionsText();

// Reads the arguments after the program name into `options`, the decoding
// settings and the results-log path. Each argument is one token, taken as it
// is: an option's value is everything after its '=', blanks, quotes and
// slashes included, so nothing inside a value can become another option.
// Option names are matched without regard to case; values keep theirs.
// Unknown tokens are ignored. Returns 0 when a conversion with a destination
// is selected; -2 when there are no arguments, leaving `decode` untouched;
// -3 when /j= holds no job count from 0 to kMaxJobs, /settle= no number of
// seconds from 0 to kMaxSettleSeconds, /retry= none from 1 to
// kMaxRetrySeconds, /ocr= no languages, /to= no known
// format, or /watch, /list or /files= come with /sf=; 126 when nothing is
// selected (the usage text is written to standard output) or the
// destination is empty (the destination error is shown).
int parseArguments(ConversionOptions& options, const std::vector<std::string>& arguments, DecodeSettings& decode,
                   std::string& logPath);

// The same for a whole command line in one string, as one program hands it
// to another. Tokens are separated by spaces; the value of /d=, /sd=, /bd=,
// /f=, /sf=, /log= or /files= may be written in double quotes to hold
// blanks (/d="/srv/My Faxes"). Returns what parseArguments returns for its
// tokens, and -1 for no text (null) and -2 for an empty one, both leaving
// `decode` untouched.
int Parse(ConversionOptions& options, const char* text, DecodeSettings& decode, std::string& logPath);

}  // namespace pagelift
