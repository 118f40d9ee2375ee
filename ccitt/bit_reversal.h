#pragma once

#include <array>
#include <cstdint>

namespace pagelift {

namespace detail {
constexpr std::array<uint8_t, 256> makeBitReversalTable()
{
    std::array<uint8_t, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        unsigned reversed = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (value & (1u << bit)) reversed |= 0x80u >> bit;
        }
        table[value] = static_cast<uint8_t>(reversed);
    }
    return table;
}
}  // namespace detail

// Entry i is byte i with its eight bits in reverse order (1 -> 128, 3 -> 192).
// Serves least-significant-bit-first data and mirrored rows.
inline constexpr std::array<uint8_t, 256> kBitReversal = detail::makeBitReversalTable();

}  // namespace pagelift
