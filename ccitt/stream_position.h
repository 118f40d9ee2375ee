#pragma once

#include "ccitt/ccitt_decoder.h"

#include <algorithm>
#include <cstdint>

namespace pagelift {

// A bit offset from the start of the coded data.
struct StreamPosition {
    int64_t bits = 0;
};

// Where the reader stands. A reader past the end stands at the end.
inline StreamPosition positionOf(const CcittDecoder& decoder)
{
    const int64_t end = int64_t(std::max(decoder.size(), 0)) * 8;
    const int64_t here = int64_t(decoder.bytePos()) * 8 + decoder.bitPos();
    return {std::clamp<int64_t>(here, 0, end)};
}

// The position `bits` before where the reader stands: the EOL (and tag bit)
// that opened the line the reader has just entered.
inline StreamPosition openingOfLine(const CcittDecoder& decoder, int bits)
{
    return {std::max<int64_t>(positionOf(decoder).bits - bits, 0)};
}

inline constexpr int kEolBits = 12;
inline constexpr int kEolAndTagBits = 13;

}  // namespace pagelift
