#include "ui/dialog_units.h"

#include <limits>

namespace pagelift {
namespace {

// value * numerator / denominator rounded half away from zero, as MulDiv does.
int scaleRounded(int value, int numerator, int denominator)
{
    const int64_t product = int64_t{value} * numerator;
    const int64_t half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

int averageCharWidthOfAlphabet(int alphabetWidth)
{
    return (alphabetWidth / 26 + 1) / 2;
}

int dialogUnitsToPixelsX(int x, const DialogBaseUnits& base)
{
    return scaleRounded(x, base.averageCharWidth, 4);
}

int dialogUnitsToPixelsY(int y, const DialogBaseUnits& base)
{
    return scaleRounded(y, base.charHeight, 8);
}

int automaticConversionIntervalMs(int32_t minutes)
{
    constexpr int64_t kLongest = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMinute = 60000;
    const int64_t interval = int64_t{minutes} * kMinute;
    if (interval > kLongest) return static_cast<int>(kLongest);
    if (interval < kMinute) return static_cast<int>(kMinute);
    return static_cast<int>(interval);
}

}  // namespace pagelift
