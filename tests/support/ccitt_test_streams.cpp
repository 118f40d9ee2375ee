#include "support/ccitt_test_streams.h"

#include "ccitt/raw_work_files.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>

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

std::vector<std::string> workImageText(const std::vector<uint8_t>& bytes, int32_t width, uint8_t coding)
{
    CcittDecoder decoder(bytes.data(), int32_t(bytes.size()), 1, coding, 0);
    decoder.setGeometry(width, 0);
    const ScratchFolder scratch;
    const std::string image = scratch.file("image");
    const std::string segments = scratch.file("segments");
    const int written = coding == FaxMr ? writeMrWorkFiles(decoder, image, segments)
                                        : writeMhWorkFiles(decoder, image, segments);
    if (written < 0) return {};
    const std::vector<uint8_t> file = readBytes(image);
    if (file.size() < kWorkImageHeaderSize) return {};
    PageBitmap page;
    decodeWorkImageHeader(file.data(), page);
    page.pixels.assign(file.begin() + ptrdiff_t(kWorkImageHeaderSize), file.end());
    page.rows = int32_t(page.pixels.size() / size_t(std::max(page.bytesPerRow, 1)));
    return pageText(page);
}

}  // namespace pagelift::testing
