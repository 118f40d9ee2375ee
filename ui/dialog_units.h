#pragma once

#include <cstdint>

namespace pagelift {

// The base units of a dialog font, from which dialog units become pixels the
// way the Windows dialog manager converts them.
struct DialogBaseUnits {
    int averageCharWidth = 0;  // of the 52 letters A..Z a..z, rounded
    int charHeight = 0;        // the font's line height
};

// The average character width from the width of "A..Za..z" (52 letters),
// rounded to the nearest pixel.
int averageCharWidthOfAlphabet(int alphabetWidth);

// Pixels of x dialog units horizontally (x * width / 4) and of y dialog units
// vertically (y * height / 8), rounded to the nearest pixel.
int dialogUnitsToPixelsX(int x, const DialogBaseUnits& base);
int dialogUnitsToPixelsY(int y, const DialogBaseUnits& base);

// The period timer's interval for a minutes value: minutes x 60000 ms formed
// in 64 bits; a value beyond the longest interval a timer takes (2^31 - 1 ms)
// gives that longest interval; a value below 1 minute (0 or negative) gives
// 1 minute, so that automatic runs never follow each other more often.
int automaticConversionIntervalMs(int32_t minutes);

}  // namespace pagelift
