#pragma once

#include "output/output_format.h"
#include "settings/decode_settings.h"
#include "ui/ini_file.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pagelift {

// The Convert tab's stored texts (section "Main").
struct MainTexts {
    std::string sourceText;       // "FaxDir": a folder, or a folder and file names
    std::string destinationText;  // "SaveDir"
    std::string backupText;       // "BakDir": empty keeps the sources in place
};

// The Options tab (section "Options"), with its values before the file is read.
struct OptionsValues {
    int32_t sourceMode = 0;         // 0 a directory, any other value named files
    int32_t includeSubfolders = 0;
    int32_t keepHierarchy = 0;      // only 1 counts
    int32_t keepDate = 0;           // only 1 counts
    int32_t keepExtension = 0;      // non-zero counts
    int32_t optimize = 1;           // only 1 counts
    int32_t quality = 50;
    int32_t autoConvert = 0;        // "Cyclely"
    int32_t cycleMinutes = 60;
    std::string outputFormat = "jpg";  // "OutputFormat": a format's name (output_format.h)
    int32_t ocr = 0;                // "Ocr": only 1 counts, the text of every page recognised
};

// The Options values a run uses; copied into the Convert tab at start-up
// and at every switch to it.
struct RunChoices {
    int32_t sourceMode = 0;
    int32_t includeSubfolders = 0;
    int32_t keepHierarchy = 0;
    int32_t keepDate = 0;
    int32_t keepExtension = 0;
    int32_t optimize = 1;
    int32_t quality = 50;
    const OutputFormat* outputFormat = &defaultOutputFormat();
    int32_t ocr = 0;
};

// The Settings tab (section "Settings"): raw-fax decoding settings.
struct SettingsValues {
    int32_t bitOrder = 0;       // "AutoBit": 0 automatic, 1 highest bit first, 2 least
    int32_t anyWidth = 1;       // "NStdWidth"
    int32_t minWidth = 1728;    // "MinWidth"
    int32_t threshold = 50;     // "Threshold"
    int32_t flagNum = 3;        // "FlagNum"
    int32_t rawData = 0;        // "RawFlag"
    int32_t recountLines = 0;   // "Recaculate"
};

MainTexts readMainSection(const IniFile& file);
void writeMainSection(IniFile& file, const MainTexts& texts);

// Missing keys read as their defaults ("KeepExt" 1, "Optimize" 1,
// "Quality" 50, "CycleMinutes" 60, "OutputFormat" jpg, the rest 0). A period
// below 1 minute reads as 1 (automaticConversionMinutes).
OptionsValues readOptionsSection(const IniFile& file);
void writeOptionsSection(IniFile& file, const OptionsValues& values);

// The choices a run uses; an output format of no known name is JPEG.
RunChoices runChoicesOf(const OptionsValues& values);

// The languages a run recognises the text of its pages in: the default ones
// when "Ocr" is 1, none otherwise.
std::string ocrLanguagesOf(const RunChoices& choices);

// The period of automatic conversion for a minutes value: at least 1 minute,
// since a shorter one would convert (and write a log record) all the time.
int32_t automaticConversionMinutes(int32_t minutes);

// Missing keys read as the values `current` holds.
SettingsValues readSettingsSection(const IniFile& file, const DecodeSettings& current);
void writeSettingsSection(IniFile& file, const SettingsValues& values);

// Copies the page's values into the decoding settings, each field taking the
// low bits its width holds (FlagNum 300 gives 44, AutoBit -1 gives 255); a
// resolution entry chosen (0..4) sets the resolution class 0, 100 ... 400.
void applySettingsValues(const SettingsValues& values, std::optional<int> resolutionEntry, DecodeSettings& decode);

// The entry of the vertical-resolution list that shows a resolution class:
// 0 for 0, 1 below 200, 2 below 300, 3 below 400, else 4.
int resolutionEntryFor(uint16_t resolution);

// What a check box shows for a stored field: values outside 0..2 show as 0.
int32_t checkBoxShown(int32_t field);

// A number box's text read as a signed decimal number: blanks around it,
// an optional minus sign and digits, nothing else, within 32 bits. Nothing
// when the text is no such number (empty included).
std::optional<int32_t> readBoxNumber(const std::string& text);

}  // namespace pagelift
