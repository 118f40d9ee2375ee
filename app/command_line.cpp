#include "app/command_line.h"

#include "ocr/text_recognizer.h"
#include "output/name_template.h"
#include "platform/messages.h"
#include "platform/plain_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace pagelift {

const char* const kUsageText =
    "Usage: pliftcmd [/q /l] [/b=0 /v=0] /f=source-file /sf=dest-jpeg-file\n"
    "or\n"
    "Usage: pliftcmd [/q /l] [/b=0 /v=0] /d=source-directory /sd=dest-directory [/filter=]\n";

namespace {

// --help's lines before the output formats, between them, and after them.
const char* const kOptionsHead =
    "\n"
    "Converts received fax files into grayscale JPEG or one-bit PNG images, one per page,\n"
    "or into one PDF per fax.\n"
    "Reads TIFF class F (MH, MR, MMR and JBIG pages), raw Group 3 and Group 4\n"
    "streams, APF, PC Research G3, QLIIFAX, BIT FAX, SFT-FAX, SFF, fx page files,\n"
    "BMP, DCX, CALS, .ds, .ed, .ig4, bare JBIG (.jbg, .jbig) and AWD files.\n"
    "\n"
    "  /f=FILE          convert one fax file\n"
    "  /sf=FILE.jpg     ... into this file; pages of a longer fax become FILE001.jpg, ...\n"
    "                   (its extension chooses the format, unless /to= says otherwise)\n";
const char* const kOptionsMiddle =
    "  /d=FOLDER        convert every fax file of a folder\n"
    "  /sd=FOLDER       ... into this folder\n"
    "  /filter=PATTERN  folder runs: the names to take, * and ? wildcards (default *.*)\n"
    "  /i               folder runs: subfolders too\n"
    "  /kh              folder runs: rebuild the subfolder tree under the destination\n"
    "  /ke              folder runs: keep the source extension in the name (a.tif.jpg)\n"
    "  /j=N             folder runs: convert N files at a time, 0 one per core (default 1)\n"
    "  /watch           folder runs: then keep watching the folder and convert what arrives,\n"
    "                   until SIGTERM or SIGINT\n"
    "  /settle=S        /watch: a file is finished once unchanged for S seconds (default 2)\n"
    "  /retry=S         /watch: a deferred delivery is tried again after S seconds, then after\n"
    "                   5, 15 and 60 minutes, then hourly, for two days (default 60)\n"
    "  /list            folder runs: print the files instead, a line per group that must stay\n"
    "                   together (names that may meet), for spreading a run over machines\n"
    "  /files=LIST      folder runs: convert the files of such a listing (- standard input)\n";
const char* const kOptionsTail =
    "  /ocr             recognise the text of every page: PDF pages carry it as searchable\n"
    "                   text, JPEG and PNG pages get FILE.txt beside them; pages on their side\n"
    "                   or upside down are turned upright\n"
    "  /ocr=LANGS       ... in these languages (eng+deu; /ocr alone reads eng)\n"
    "  /meta=NAME=VALUE give every fax this fact, over what the fax states; repeatable\n"
    "                   (/meta=called=4930123456); NAME one of sender, caller, callername,\n"
    "                   called, subaddress, received (2026:12:01 09:15:00), pages, source,\n"
    "                   machine. A PDF's Author is the sender, its Keywords the caller and\n"
    "                   called numbers\n"
    "  /name=TEMPLATE   folder runs: name each fax's outputs by its facts, as\n"
    "                   fax-{received:%Y%m%d-%H%M%S}-{caller}; fields are the facts' names,\n"
    "                   {received:FORMAT} in strftime's conversions, {{ and }} braces; a fact\n"
    "                   not known gives \"unknown\"; names that meet get -2, -3 ... in list order\n"
    "  /rules=FILE      deliver each fax converted by the first rule of FILE that holds for\n"
    "                   its facts: mail its outputs (mailto, subject, body, attach, maxattach)\n"
    "                   and run a hook; a fax whose delivery is deferred stays where it is\n"
    "  /mailto=ADDRS    ... a rule for every fax, after the file's: mail to these addresses\n"
    "  /subject=TEXT    ... its subject, a template (default \"Fax from {sender} ({pages} pages)\")\n"
    "  /hook=PROGRAM    ... run PROGRAM with the outputs as arguments, the facts in FAX_*\n"
    "  /mailfrom=ADDR   the mail's sender (default pagelift@ this host)\n"
    "  /sendmail=PROG   the program that sends mail (default /usr/sbin/sendmail)\n"
    "  /hooktime=S      a hook or sendmail taking longer is ended, and tried again later (default 60)\n"
    "  /bd=FOLDER       move each fax into this folder once all its pages are written\n"
    "  /l               give the written files the source's file times\n"
    "  /qa=N            JPEG quality, 1 to 100 (default 50)\n"
    "  /o               optimised Huffman tables (always on)\n"
    "  /q               print no report\n"
    "  /log=FILE        append the report to FILE; /log= alone keeps no log\n"
    "  /b=N             raw streams: bit order, 0 find out (default), 1 most, 2 least significant first\n"
    "  /v=N             raw streams: 1 standard, 2 fine, 3 superfine, 4 high resolution; 0 guess (default)\n"
    "  /nw=N            raw streams: also lines wider than N that are no standard fax width\n"
    "  /raw             raw streams: Group 4 data start at the first byte, not after flag bytes\n"
    "  --help           this text\n"
    "  --version        the version\n"
    "\n"
    "Option names may be written in any case; each argument is one option, its value\n"
    "taken as it is, blanks and quotes included.\n"
    "\n"
    "Exit status: 0 when a conversion ran, whatever became of each file (the report\n"
    "and the log tell), and when /watch was stopped by SIGTERM or SIGINT; 1 when\n"
    "/watch finds no folder to watch; 2 when the command line selects no conversion or\n"
    "holds a value that cannot be used, or /ocr cannot recognise text (no OCR module,\n"
    "or a language whose data are not installed: nothing is converted then).\n"
    "\n"
    "Results log: $XDG_STATE_HOME/pagelift/log/plflog.txt (~/.local/state/pagelift/...),\n"
    "or log/plflog.txt beside the program when a log folder stands there.\n";

}  // namespace

std::string optionsText()
{
    std::string text = std::string(kOptionsHead) + kOptionsMiddle + "  /to=FORMAT       what to write:\n";
    for (const OutputFormat& format : outputFormats()) {
        std::string line = "                     " + std::string(format.name);
        line.resize(27, ' ');
        text += line + std::string(format.description) + (&format == &defaultOutputFormat() ? " (the default)" : "") + "\n";
    }
    return text + kOptionsTail;
}

namespace {

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool startsWithNoCase(const std::string& token, const char* prefix)
{
    const std::string p = prefix;
    return token.size() >= p.size() && lowerAscii(token.substr(0, p.size())) == p;
}

// A decimal number as the C library reads one: leading white space, a sign,
// digits up to the first other character; no digits gives 0. Values beyond
// 32 bits are held at the limit.
int32_t readNumber(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<int32_t>::max()) value = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

void trimLeft(std::string& text)
{
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    text.erase(0, i);
}

// A value such as that of /j= or /settle=: a whole number from 0 to
// `maximum` in decimal digits alone, or -1 for anything else.
int32_t readBoundedCount(const std::string& value, int32_t maximum)
{
    if (value.empty() || value.size() > 9) return -1;
    for (const char c : value) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) return -1;
    }
    const int32_t count = static_cast<int32_t>(std::stol(value));
    return count <= maximum ? count : -1;
}

struct FlagOption {
    const char* token;
    void (*apply)(ConversionOptions&, DecodeSettings&);
};

const FlagOption kFlagOptions[] = {
    {"/l", [](ConversionOptions& o, DecodeSettings&) { o.keepDate = true; }},
    {"/q", [](ConversionOptions& o, DecodeSettings&) { o.quiet = true; }},
    {"/ke", [](ConversionOptions& o, DecodeSettings&) { o.keepExtension = true; }},
    {"/i", [](ConversionOptions& o, DecodeSettings&) { o.includeSubfolders = 1; }},
    {"/kh", [](ConversionOptions& o, DecodeSettings&) { o.keepHierarchy = 1; }},
    {"/o", [](ConversionOptions& o, DecodeSettings&) { o.optimize = true; }},
    {"/watch", [](ConversionOptions& o, DecodeSettings&) { o.watch = true; }},
    {"/list", [](ConversionOptions& o, DecodeSettings&) { o.listGroups = true; }},
};

const FlagOption kDecodeFlagOptions[] = {
    {"/raw", [](ConversionOptions&, DecodeSettings& d) { d.rawData = 1; }},
    {"/relines", [](ConversionOptions&, DecodeSettings& d) { d.recountLines = 1; }},
    {"/m=0", [](ConversionOptions&, DecodeSettings& d) { d.decodeMode = 0; }},
    {"/m=1", [](ConversionOptions&, DecodeSettings& d) { d.decodeMode = 1; }},
    {"/m=2", [](ConversionOptions&, DecodeSettings& d) { d.decodeMode = 2; }},
    {"/b=0", [](ConversionOptions&, DecodeSettings& d) { d.bitOrder = 0; }},
    {"/b=1", [](ConversionOptions&, DecodeSettings& d) { d.bitOrder = 1; }},
    {"/b=2", [](ConversionOptions&, DecodeSettings& d) { d.bitOrder = 2; }},
    {"/v=0", [](ConversionOptions&, DecodeSettings& d) { d.resolution = 0; }},
    {"/v=1", [](ConversionOptions&, DecodeSettings& d) { d.resolution = 100; }},
    {"/v=2", [](ConversionOptions&, DecodeSettings& d) { d.resolution = 200; }},
    {"/v=3", [](ConversionOptions&, DecodeSettings& d) { d.resolution = 300; }},
    {"/v=4", [](ConversionOptions&, DecodeSettings& d) { d.resolution = 400; }},
};

bool applyFlag(const FlagOption* begin, const FlagOption* end, const std::string& lowerToken, ConversionOptions& options,
               DecodeSettings& decode)
{
    for (const FlagOption* option = begin; option != end; ++option) {
        if (lowerToken == option->token) {
            option->apply(options, decode);
            return true;
        }
    }
    return false;
}

// The options whose value is a path or a file list: in a one-string command
// line these alone may have their value in double quotes.
struct PathOption {
    const char* prefix;
    void (*apply)(ConversionOptions&, std::string& logPath, std::string&& value);
};

const PathOption kPathOptions[] = {
    {"/d=", [](ConversionOptions& o, std::string&, std::string&& v) { o.source = std::move(v); }},
    {"/sd=",
     [](ConversionOptions& o, std::string&, std::string&& v) {
         o.conversionKind = ConversionFolder;
         o.destination = std::move(v);
     }},
    {"/bd=", [](ConversionOptions& o, std::string&, std::string&& v) { o.backupFolder = std::move(v); }},
    {"/f=", [](ConversionOptions& o, std::string&, std::string&& v) { o.source = std::move(v); }},
    {"/sf=",
     [](ConversionOptions& o, std::string&, std::string&& v) {
         o.conversionKind = ConversionSingleFile;
         o.destination = std::move(v);
     }},
    {"/log=", [](ConversionOptions&, std::string& log, std::string&& v) { log = std::move(v); }},
    {"/files=", [](ConversionOptions& o, std::string&, std::string&& v) { o.listedFiles = std::move(v); }},
};

// The path option a token starts with, or null.
const PathOption* pathOptionOf(const std::string& token)
{
    for (const PathOption& option : kPathOptions) {
        if (startsWithNoCase(token, option.prefix)) return &option;
    }
    return nullptr;
}

// What the command line says beside the records it fills.
struct LineExtras {
    std::string& logPath;
    std::optional<std::string> formatName;  // the value of /to=, when given
    bool ocrGivenEmpty = false;             // /ocr= without languages
    std::string factRefused;                // why a /meta= (or a rule's option) cannot be taken; empty when all can
};

// Why the /name= template cannot be used; empty when it can (or none is given).
std::string nameTemplateFault(const std::string& text)
{
    std::string why;
    if (text.empty() || NameTemplate::parse(text, why)) return {};
    return "/name=" + text + ": " + why;
}

// Takes /meta=NAME=VALUE's value as it is: the value runs from the first
// '=' after the name to the end, quotes, blanks and slashes included.
void takeGivenFact(const std::string& nameAndValue, ConversionOptions& options, LineExtras& extras)
{
    const size_t equals = nameAndValue.find('=');
    const std::string name = nameAndValue.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : nameAndValue.substr(equals + 1);
    FaxFacts check;
    std::string why = equals == std::string::npos ? "it takes NAME=VALUE" : setFaxFact(check, name, value);
    if (!why.empty() && extras.factRefused.empty()) extras.factRefused = "/meta=" + nameAndValue + ": " + why;
    options.givenFacts.emplace_back(name, value);
}

// Applies one token, exactly as given: its value is everything after the
// option's '='. The options are tried in a fixed order, and the first that
// matches acts; a token that names no option is ignored.
void handleToken(const std::string& token, ConversionOptions& options, DecodeSettings& decode, LineExtras& extras)
{
    const std::string lowerToken = lowerAscii(token);

    if (applyFlag(std::begin(kFlagOptions), std::end(kFlagOptions), lowerToken, options, decode)) return;
    if (startsWithNoCase(token, "/qa=")) {
        options.quality = readNumber(token.substr(4));
        return;
    }
    if (startsWithNoCase(token, "/j=")) {
        options.jobs = readBoundedCount(token.substr(3), kMaxJobs);
        return;
    }
    if (startsWithNoCase(token, "/retry=")) {
        options.retrySeconds = readBoundedCount(token.substr(7), kMaxRetrySeconds);
        return;
    }
    if (startsWithNoCase(token, "/settle=")) {
        options.settleSeconds = readBoundedCount(token.substr(8), kMaxSettleSeconds);
        return;
    }
    if (startsWithNoCase(token, "/nw=")) {
        decode.minWidth = static_cast<uint16_t>(readNumber(token.substr(4)));
        decode.anyWidth = 1;
        return;
    }
    if (applyFlag(std::begin(kDecodeFlagOptions), std::end(kDecodeFlagOptions), lowerToken, options, decode)) return;
    if (startsWithNoCase(token, "/filter=")) {
        options.filter = token.substr(8);
        return;
    }
    if (startsWithNoCase(token, "/to=")) {
        extras.formatName = token.substr(4);
        return;
    }
    if (startsWithNoCase(token, "/rules=")) {
        options.rulesFile = token.substr(7);
        return;
    }
    for (const auto& [prefix, key] : {std::pair{"/mailto=", "mailto"}, {"/subject=", "subject"}, {"/hook=", "hook"}}) {
        if (!startsWithNoCase(token, prefix)) continue;
        if (!options.commandLineRule) {
            options.commandLineRule.emplace();
            options.commandLineRule->name = "command line";
        }
        const std::string why = setDeliveryRuleKey(*options.commandLineRule, key, token.substr(std::strlen(prefix)));
        if (!why.empty() && extras.factRefused.empty()) extras.factRefused = token + ": " + why;
        return;
    }
    if (startsWithNoCase(token, "/mailfrom=")) {
        options.mailFrom = token.substr(10);
        return;
    }
    if (startsWithNoCase(token, "/sendmail=")) {
        options.sendmail = token.substr(10);
        return;
    }
    if (startsWithNoCase(token, "/hooktime=")) {
        options.hookSeconds = readBoundedCount(token.substr(10), kMaxHookSeconds);
        return;
    }
    if (startsWithNoCase(token, "/name=")) {
        options.nameTemplate = token.substr(6);
        return;
    }
    if (startsWithNoCase(token, "/meta=")) {
        takeGivenFact(token.substr(6), options, extras);
        return;
    }
    if (lowerToken == "/ocr") {
        options.ocrLanguages = kDefaultOcrLanguages;
        return;
    }
    if (startsWithNoCase(token, "/ocr=")) {
        options.ocrLanguages = token.substr(5);
        extras.ocrGivenEmpty = options.ocrLanguages.empty();
        return;
    }
    if (const PathOption* option = pathOptionOf(token)) {
        option->apply(options, extras.logPath, token.substr(std::char_traits<char>::length(option->prefix)));
    }
}

// The next token of a one-string command line, at the front of `rest`, whose
// first space is at `tokenLength`; returns how many characters of `rest` it
// took. A path option's value that opens with a double quote runs to the next
// double quote, over spaces; the quotes are not part of it. Without a closing
// quote the value is the rest of the token after the opening one.
size_t takeToken(const std::string& rest, size_t tokenLength, std::vector<std::string>& tokens)
{
    const PathOption* option = pathOptionOf(rest.substr(0, tokenLength));
    const size_t valueStart = option != nullptr ? std::char_traits<char>::length(option->prefix) : tokenLength;
    if (valueStart >= tokenLength || rest[valueStart] != '"') {
        tokens.push_back(rest.substr(0, tokenLength));
        return tokenLength;
    }
    const std::string name = rest.substr(0, valueStart);
    const size_t closing = rest.find('"', valueStart + 1);
    if (closing == std::string::npos) {
        tokens.push_back(name + rest.substr(valueStart + 1, tokenLength - valueStart - 1));
        return tokenLength;
    }
    tokens.push_back(name + rest.substr(valueStart + 1, closing - valueStart - 1));
    // A closing quote inside the token drops what follows it there; one past
    // the token ends the value, and the character after it goes too.
    return closing < tokenLength ? tokenLength : closing + 1;
}

// The tokens of a one-string command line. Tokens end at a space only (a tab
// stays inside its token); blanks of any kind before a token are skipped.
std::vector<std::string> splitCommandText(const char* text)
{
    std::string rest = text;
    while (!rest.empty() && isBlank(rest.back())) rest.pop_back();
    rest += ' ';
    trimLeft(rest);

    std::vector<std::string> tokens;
    size_t space = rest.find(' ');
    while (space != std::string::npos && space > 0) {
        const size_t taken = takeToken(rest, space, tokens);
        rest.erase(0, std::min(rest.size(), taken + 1));
        trimLeft(rest);
        space = rest.find(' ');
    }
    return tokens;
}

// What every command line starts from, whatever the owner had set: no
// conversion, the default filter, format and jobs. Quality and paths stay.
void resetOptions(ConversionOptions& options)
{
    options.keepDate = false;
    options.quiet = false;
    options.keepExtension = false;
    options.optimize = true;
    options.includeSubfolders = 0;
    options.keepHierarchy = 0;
    options.conversionKind = ConversionNone;
    options.skipExisting = 0;
    options.filter = "*.*";
    options.backupFolder.clear();
    options.jobs = 1;
    options.watch = false;
    options.settleSeconds = 2;
    options.retrySeconds = 60;
    options.listGroups = false;
    options.listedFiles.clear();
    options.outputFormat = &defaultOutputFormat();
    options.ocrLanguages.clear();
    options.givenFacts.clear();
    options.nameTemplate.clear();
    options.nameRecord.clear();
    options.rulesFile.clear();
    options.commandLineRule.reset();
    options.mailFrom.clear();
    options.sendmail = "/usr/sbin/sendmail";
    options.hookSeconds = 60;
    options.delivery.reset();
}

// Settles the format: the one /to= names; without it a single file's name
// tells (fax.png), and JPEG is the rest's. Returns false, with the reason on
// standard error, when /to= names no format.
bool chooseOutputFormat(ConversionOptions& options, const LineExtras& extras)
{
    if (extras.formatName) {
        options.outputFormat = outputFormatNamed(*extras.formatName);
        if (options.outputFormat == nullptr) {
            std::fprintf(stderr, "/to= takes %s\n", outputFormatNames().c_str());
            options.outputFormat = &defaultOutputFormat();
            return false;
        }
    } else if (options.conversionKind == ConversionSingleFile) {
        if (const OutputFormat* named = outputFormatOfPath(options.destination)) options.outputFormat = named;
    }
    return true;
}

// The parser's result once every token is applied (see Parse).
int checkLine(ConversionOptions& options, const LineExtras& extras)
{
    if (options.jobs < 0) {
        std::fprintf(stderr, "/j= takes the number of files to convert at a time, 0 to %d (0: one per core)\n", kMaxJobs);
        return kParseBadValue;
    }
    if (extras.ocrGivenEmpty) {
        std::fputs("/ocr= takes the languages of the text, such as eng or eng+deu\n", stderr);
        return kParseBadValue;
    }
    if (!extras.factRefused.empty()) {
        std::fprintf(stderr, "%s\n", extras.factRefused.c_str());
        return kParseBadValue;
    }
    if (const std::string fault = nameTemplateFault(options.nameTemplate); !fault.empty()) {
        std::fprintf(stderr, "%s\n", fault.c_str());
        return kParseBadValue;
    }
    if (options.hookSeconds < 1) {
        std::fprintf(stderr, "/hooktime= takes whole seconds, 1 to %d\n", kMaxHookSeconds);
        return kParseBadValue;
    }
    if (!options.mailFrom.empty() && !isPlainMailAddress(options.mailFrom)) {
        std::fprintf(stderr, "/mailfrom= takes one address, without blanks\n");
        return kParseBadValue;
    }
    if (options.retrySeconds < 1) {
        std::fprintf(stderr, "/retry= takes whole seconds, 1 to %d\n", kMaxRetrySeconds);
        return kParseBadValue;
    }
    if (options.settleSeconds < 0) {
        std::fprintf(stderr, "/settle= takes whole seconds, 0 to %d\n", kMaxSettleSeconds);
        return kParseBadValue;
    }
    if (!chooseOutputFormat(options, extras)) return kParseBadValue;
    if ((options.watch || options.listGroups || !options.listedFiles.empty()) &&
        options.conversionKind == ConversionSingleFile) {
        std::fputs("/watch, /list and /files= take a folder: give them /d= and /sd=, not /f= and /sf=\n", stderr);
        return kParseBadValue;
    }
    if (options.conversionKind != ConversionNone) {
        if (!options.destination.empty()) return kParseConversionSelected;
        showErrorMessage("Please set save folder with '/sd=' or '/sf=', and be sure it is not the same as source folder",
                         "ERROR Save Folder");
        return kParseNothingToRun;
    }
    std::fputs(kUsageText, stdout);
    std::fflush(stdout);
    return kParseNothingToRun;
}

// Applies the tokens of a command line that holds some, after the options
// have been reset, and checks the result.
int parseTokens(ConversionOptions& options, const std::vector<std::string>& tokens, DecodeSettings& decode,
                std::string& logPath)
{
    decode.anyWidth = 0;
    decode.rawData = 0;
    decode.recountLines = 0;

    LineExtras extras{logPath, std::nullopt, false, {}};
    for (const std::string& token : tokens) handleToken(token, options, decode, extras);
    return checkLine(options, extras);
}

}  // namespace

int Parse(ConversionOptions& options, const char* text, DecodeSettings& decode, std::string& logPath)
{
    resetOptions(options);
    if (text == nullptr) return kParseNoText;
    if (*text == '\0') return kParseEmptyText;
    return parseTokens(options, splitCommandText(text), decode, logPath);
}

int parseArguments(ConversionOptions& options, const std::vector<std::string>& arguments, DecodeSettings& decode,
                   std::string& logPath)
{
    resetOptions(options);
    if (arguments.empty()) return kParseEmptyText;
    return parseTokens(options, arguments, decode, logPath);
}

}  // namespace pagelift
