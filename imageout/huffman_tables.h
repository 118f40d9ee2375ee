#pragma once

// The Huffman tables that make a JPEG scan shortest: the symbols of every
// block counted as the JPEG library's optimisation counts them, and the
// code lengths built from the counts by the procedure of ITU-T T.81 Annex
// K.2 (code lengths limited to 16 bits, no code of all one bits), giving
// the tables the library itself would build from the same blocks.

#include "imageout/block_dct.h"

#include <array>
#include <cstdint>

namespace pagelift {

// How often each symbol occurs; entry 256 is not a symbol (kept for the
// building procedure).
using SymbolCounts = std::array<int64_t, 257>;

// Counts the DC and AC symbols of a component's blocks, handed in the order
// they are coded.
class SymbolCounter {
public:
    // False when a coefficient is too large for 8-bit samples (the library
    // refuses such a block). `nonZero` tells which AC coefficients are not
    // zero (bit k: the k-th in zigzag order), as BlockTransform returns it.
    bool count(const int16_t* block, uint64_t nonZero);

    const SymbolCounts& dc() const { return dc_; }
    const SymbolCounts& ac() const { return ac_; }

private:
    SymbolCounts dc_{};
    SymbolCounts ac_{};
    int32_t lastDc_ = 0;
};

// A table as a JPEG file states it: how many codes of each length 1..16
// (bits[0] unused), and the symbols in order of their codes.
struct HuffmanCodes {
    std::array<uint8_t, 17> bits{};
    std::array<uint8_t, 256> symbols{};
};

// The optimal table for the counts.
HuffmanCodes optimalHuffmanTable(SymbolCounts counts);

// Index k of the zigzag order in which a block's coefficients are coded
// holds the block's natural (row-major) index.
extern const std::array<uint8_t, 64> kZigzagToNatural;

}  // namespace pagelift
