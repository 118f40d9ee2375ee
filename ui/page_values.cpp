#include "ui/page_values.h"

#include <limits>

namespace pagelift {
namespace {

constexpr const char* kMain = "Main";
constexpr const char* kOptions = "Options";
constexpr const char* kSettings = "Settings";

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
    values.sourceMode = file.readNumber(kOptions, "DirFile", 0);
    values.includeSubfolders = file.readNumber(kOptions, "Subdir", 0);
    values.keepHierarchy = file.readNumber(kOptions, "Hiberarchy", 0);
    values.keepDate = file.readNumber(kOptions, "KeepDate", 0);
    values.keepExtension = file.readNumber(kOptions, "KeepExt", 1);
    values.optimize = file.readNumber(kOptions, "Optimize", 1);
    values.quality = file.readNumber(kOptions, "Quality", 50);
    values.autoConvert = file.readNumber(kOptions, "Cyclely", 0);
    values.cycleMinutes = file.readNumber(kOptions, "CycleMinutes", 60);
    return values;
}

void writeOptionsSection(IniFile& file, const OptionsValues& values)
{
    file.writeNumber(kOptions, "DirFile", values.sourceMode);
    file.writeNumber(kOptions, "Subdir", values.includeSubfolders);
    file.writeNumber(kOptions, "Hiberarchy", values.keepHierarchy);
    file.writeNumber(kOptions, "KeepDate", values.keepDate);
    file.writeNumber(kOptions, "KeepExt", values.keepExtension);
    file.writeNumber(kOptions, "Optimize", values.optimize);
    file.writeNumber(kOptions, "Quality", values.quality);
    file.writeNumber(kOptions, "Cyclely", values.autoConvert);
    file.writeNumber(kOptions, "CycleMinutes", values.cycleMinutes);
}

RunChoices runChoicesOf(const OptionsValues& values)
{
    return {values.sourceMode,    values.includeSubfolders, values.keepHierarchy, values.keepDate,
            values.keepExtension, values.optimize,          values.quality};
}

SettingsValues readSettingsSection(const IniFile& file, const DecodeSettings& current)
{
    SettingsValues values;
    values.bitOrder = file.readNumber(kSettings, "AutoBit", current.bitOrder);
    values.anyWidth = file.readNumber(kSettings, "NStdWidth", current.anyWidth);
    values.minWidth = file.readNumber(kSettings, "MinWidth", current.minWidth);
    values.threshold = file.readNumber(kSettings, "Threshold", current.threshold);
    values.flagNum = file.readNumber(kSettings, "FlagNum", current.flagNum);
    values.rawData = file.readNumber(kSettings, "RawFlag", current.rawData);
    values.recountLines = file.readNumber(kSettings, "Recaculate", current.recountLines);
    return values;
}

void writeSettingsSection(IniFile& file, const SettingsValues& values)
{
    file.writeNumber(kSettings, "AutoBit", values.bitOrder);
    file.writeNumber(kSettings, "NStdWidth", values.anyWidth);
    file.writeNumber(kSettings, "MinWidth", values.minWidth);
    file.writeNumber(kSettings, "Threshold", values.threshold);
    file.writeNumber(kSettings, "FlagNum", values.flagNum);
    file.writeNumber(kSettings, "RawFlag", values.rawData);
    file.writeNumber(kSettings, "Recaculate", values.recountLines);
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
