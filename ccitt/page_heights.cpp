#include "ccitt/page_heights.h"

#include <cstddef>

namespace pagelift {
namespace {

constexpr int16_t kResolutions[4] = {100, 200, 300, 400};
constexpr uint32_t kPageLines[3][4] = {
    {1144, 2288, 3432, 4576},
    {1363, 2726, 4089, 5452},
    {1617, 3234, 4851, 6468},
};

bool isKnownPaper(uint8_t paperSize) { return paperSize >= 1 && paperSize <= 3; }

}  // namespace

uint32_t rowsPerPageFor(uint8_t paperSize, int32_t verticalResolution)
{
    if (!isKnownPaper(paperSize)) return kPageLines[0][0];
    const size_t column = verticalResolution <= 100 ? 0 : verticalResolution <= 200 ? 1 : verticalResolution <= 300 ? 2 : 3;
    return kPageLines[paperSize - 1][column];
}

uint16_t resolutionForPageLines(uint8_t paperSize, int32_t lines, uint16_t otherwise)
{
    if (!isKnownPaper(paperSize)) return otherwise;
    for (size_t column = 0; column < 3; ++column) {
        if (int64_t(lines) <= int64_t(kPageLines[paperSize - 1][column])) return uint16_t(kResolutions[column]);
    }
    return uint16_t(kResolutions[3]);
}

int16_t resolutionOfA4PageHeight(uint32_t rowsPerPage, int16_t otherwise)
{
    for (size_t column = 0; column < 4; ++column) {
        if (kPageLines[0][column] == rowsPerPage) return kResolutions[column];
    }
    return otherwise;
}

}  // namespace pagelift
