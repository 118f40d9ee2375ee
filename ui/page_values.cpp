#include "ui/page_values.h"

#include "ocr/text_recognizer.h"

#include <limits>

namespace pagelift {
namespace {

constexpr const char* kMain = "Main";
constexpr const char* kOptions = "Options";
constexpr const char* kSettings = "Settings";

// Each value of a section under its key, so that reading and writing use one
// list; an Options key missing from the file reads as its fallback.
struct OptionsKey {
    const char* key;
    int32_t OptionsValues::*field;
    int32_t fallback;
};
constexpr OptionsKey kOptionsKeys[] = {
    {"DirFile", &OptionsValues::sourceMode, 0},     {"Subdir", &OptionsValues::includeSubfolders, 0},
    {"Hiberarchy", &OptionsValues::keepHierarchy, 0}, {"KeepDate", &OptionsValues::keepDate, 0},
    {"KeepExt", &OptionsValues::keepExtension, 1},  {"Optimize", &OptionsValues::optimize, 1},
    {"Quality", &OptionsValues::quality, 50},       {"Cyclely", &OptionsValues::autoConvert, 0},
    {"CycleMinutes", &OptionsValues::cycleMinutes, 60}, {"Ocr", &OptionsValues::ocr, 0},
};

struct SettingsKey {
    const char* key;
    int32_t SettingsValues::*field;
};
constexpr SettingsKey kSettingsKeys[] = {
    {"AutoBit", &SettingsValues::bitOrder},   {"NStdWidth", &SettingsValues::anyWidth},
    {"MinWidth", &SettingsValues::minWidth},  {"Threshold", &SettingsValues::threshold},
    {"FlagNum", &SettingsValues::flagNum},    {"RawFlag", &SettingsValues::rawData},
    {"Recaculate", &SettingsValues::recountLines},
};

}  // namespace

MainTexts readMainSection(const IniFile& file)
{
    return {file.readText(kMain, "FaxDir", ""), file.readText(kMain, "SaveDir", ""),
            file.readText(kMain, "BakDir", "")};
}

void writeMainSection(IniFile& file, const MainTexts& texts)
{
    file.write(kMain, "FaxDir", texts.sourceText);
    file.write(kMain, "SaveDir", texts.destinationText);
    file.write(kMain, "BakDir", texts.backupText);
}

OptionsValues readOptionsSection(const IniFile& file)
{
    OptionsValues values;
    for (const OptionsKey& entry : kOptionsKeys) {
        values.*entry.field = file.readNumber(kOptions, entry.key, entry.fallback);
    }
    values.cycleMinutes = automaticConversionMinutes(values.cycleMinutes);
    values.outputFormat = file.readText(kOptions, "OutputFormat", values.outputFormat);
    return values;
}

void writeOptionsSection(IniFile& file, const OptionsValues& values)
{
    for (const OptionsKey& entry : kOptionsKeys) file.writeNumber(kOptions, entry.key, values.*entry.field);
    file.write(kOptions, "OutputFormat", values.outputFormat);
}

RunChoices runChoicesOf(const OptionsValues& values)
{
    const OutputFormat* format = outputFormatNamed(values.outputFormat);
    return {values.sourceMode,    values.includeSubfolders, values.keepHierarchy, values.keepDate,
            values.keepExtension, values.optimize,          values.quality,
            format != nullptr ? format : &defaultOutputFormat(), values.ocr};
}

std::string ocrLanguagesOf(const RunChoices& choices)
{
    return choices.ocr == 1 ? kDefaultOcrLanguages : "";
}

int32_t automaticConversionMinutes(int32_t minutes)
{
    return minutes < 1 ? 1 : minutes;
}

SettingsValues readSettingsSection(const IniFile& file, const DecodeSettings& current)
{
    SettingsValues values{current.bitOrder, current.anyWidth,  current.minWidth,    current.threshold,
                          current.flagNum,  current.rawData, current.recountLines};
    for (const SettingsKey& entry : kSettingsKeys) {
        values.*entry.field = file.readNumber(kSettings, entry.key, values.*entry.field);
    }
    return values;
}

void writeSettingsSection(IniFile& file, const SettingsValues& values)
{
    for (const SettingsKey& entry : kSettingsKeys) file.writeNumber(kSettings, entry.key, values.*entry.field);
}

void applySettingsValues(const SettingsValues& values, std::optional<int> resolutionEntry, DecodeSettings& decode)
{
    decode.bitOrder = static_cast<uint8_t>(values.bitOrder);
    decode.anyWidth = static_cast<uint8_t>(values.anyWidth);
    decode.minWidth = static_cast<uint16_t>(values.minWidth);
    decode.threshold = static_cast<uint16_t>(values.threshold);
    decode.flagNum = static_cast<uint8_t>(values.flagNum);
    decode.rawData = static_cast<uint8_t>(values.rawData);
    decode.recountLines = static_cast<uint8_t>(values.recountLines);
    if (resolutionEntry && *resolutionEntry >= 0 && *resolutionEntry <= 4) {
        decode.resolution = static_cast<uint16_t>(*resolutionEntry * 100);
    }
}

int resolutionEntryFor(uint16_t resolution)
{
    if (resolution == 0) return 0;
    if (resolution < 200) return 1;
    if (resolution < 300) return 2;
    if (resolution < 400) return 3;
    return 4;
}

int32_t checkBoxShown(int32_t field)
{
    return field < 0 || field > 2 ? 0 : field;
}

std::optional<int32_t> readBoxNumber(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    bool negative = false;
    if (begin < end && text[begin] == '-') {
        negative = true;
        ++begin;
    }
    if (begin == end) return std::nullopt;
    int64_t number = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        number = number * 10 + (text[i] - '0');
        if (number > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
    }
    if (negative) number = -number;
    if (number > std::numeric_limits<int32_t>::max() || number < std::numeric_limits<int32_t>::min()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(number);
}

}  // namespace pagelift
