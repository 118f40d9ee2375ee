#include "support/ccitt_test_streams.h"

namespace pagelift::testing {

std::string mhLine(std::initializer_list<int32_t> runs)
{
    std::string bits;
    int colour = 0;
    for (int32_t run : runs) {
        bits += runCodeBits(run, colour);
        colour ^= 1;
    }
    return bits;
}

std::string horizontalMode(int32_t first, int32_t second, int colourOfA0)
{
    return "001" + runCodeBits(first, colourOfA0) + runCodeBits(second, colourOfA0 ^ 1);
}

std::string rowText(const PageBitmap& page, int32_t row)
{
    std::string text;
    const uint8_t* bytes = page.pixels.data() + size_t(row) * size_t(page.bytesPerRow);
    for (int32_t x = 0; x < page.width; ++x) text += ((bytes[x / 8] >> (7 - x % 8)) & 1) ? 'W' : 'B';
    return text;
}

std::vector<std::string> pageText(const PageBitmap& page)
{
    std::vector<std::string> rows;
    for (int32_t row = 0; row < page.rows; ++row) rows.push_back(rowText(page, row));
    return rows;
}

}  // namespace pagelift::testing
