#include "imageout/huffman_tables.h"

#include <bit>
#include <cstdlib>

namespace pagelift {
namespace {

// Bits needed for the magnitude of a value: 0 for 0, else floor(log2|v|) + 1.
int magnitudeBits(int32_t value)
{
    return std::bit_width(uint32_t(value < 0 ? -value : value));
}

// Longest code the building procedure may make before lengths are limited.
constexpr int kMaxCodeLength = 32;

}  // namespace

const std::array<uint8_t, 64> kZigzagToNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

bool SymbolCounter::count(const int16_t* block, uint64_t nonZero)
{
    // 8-bit samples give DC differences of at most 11 bits, AC values of 10.
    const int dcBits = magnitudeBits(block[0] - lastDc_);
    if (dcBits > 11) return false;
    ++dc_[size_t(dcBits)];
    lastDc_ = block[0];

    int last = 0;
    while (nonZero != 0) {
        const int k = std::countr_zero(nonZero);
        nonZero &= nonZero - 1;
        int run = k - last - 1;
        for (; run > 15; run -= 16) ++ac_[0xF0];  // sixteen zeros (ZRL)
        const int bits = magnitudeBits(block[kZigzagToNatural[size_t(k)]]);
        if (bits > 10) return false;
        ++ac_[size_t(run << 4 | bits)];
        last = k;
    }
    if (last < 63) ++ac_[0];  // end of block
    return true;
}

HuffmanCodes optimalHuffmanTable(SymbolCounts counts)
{
    std::array<int, 257> codeLength{};
    std::array<int, 257> next{};  // the next symbol in the same subtree, -1 at its end
    next.fill(-1);
    // One code point is held back so that no real symbol gets a code of all
    // one bits.
    counts[256] = 1;

    // Join the two least frequent subtrees until one is left; among equal
    // counts the symbol found last (the highest) is taken.
    for (;;) {
        int first = -1;
        int64_t least = INT64_MAX;
        for (int symbol = 0; symbol <= 256; ++symbol) {
            if (counts[size_t(symbol)] != 0 && counts[size_t(symbol)] <= least) {
                least = counts[size_t(symbol)];
                first = symbol;
            }
        }
        int second = -1;
        least = INT64_MAX;
        for (int symbol = 0; symbol <= 256; ++symbol) {
            if (counts[size_t(symbol)] != 0 && counts[size_t(symbol)] <= least && symbol != first) {
                least = counts[size_t(symbol)];
                second = symbol;
            }
        }
        if (second < 0) break;
        counts[size_t(first)] += counts[size_t(second)];
        counts[size_t(second)] = 0;
        // Every symbol of both subtrees goes one level deeper.
        ++codeLength[size_t(first)];
        while (next[size_t(first)] >= 0) {
            first = next[size_t(first)];
            ++codeLength[size_t(first)];
        }
        next[size_t(first)] = second;
        ++codeLength[size_t(second)];
        while (next[size_t(second)] >= 0) {
            second = next[size_t(second)];
            ++codeLength[size_t(second)];
        }
    }

    std::array<int, kMaxCodeLength + 1> lengths{};
    for (int symbol = 0; symbol <= 256; ++symbol) {
        if (codeLength[size_t(symbol)] == 0) continue;
        // 257 symbols never need more than 32 levels; the bound keeps the
        // index in range whatever the counts.
        if (codeLength[size_t(symbol)] > kMaxCodeLength) std::abort();
        ++lengths[size_t(codeLength[size_t(symbol)])];
    }
    // Codes longer than 16 bits: a pair at the longest length becomes one
    // code a level up and one of a shorter length's codes, split in two.
    for (int length = kMaxCodeLength; length > 16; --length) {
        while (lengths[size_t(length)] > 0) {
            int shorter = length - 2;
            while (lengths[size_t(shorter)] == 0) --shorter;
            lengths[size_t(length)] -= 2;
            ++lengths[size_t(length - 1)];
            lengths[size_t(shorter + 1)] += 2;
            --lengths[size_t(shorter)];
        }
    }
    // The held-back code point goes from the longest codes.
    int longest = 16;
    while (longest > 0 && lengths[size_t(longest)] == 0) --longest;
    if (longest > 0) --lengths[size_t(longest)];

    HuffmanCodes table;
    for (int length = 1; length <= 16; ++length) table.bits[size_t(length)] = uint8_t(lengths[size_t(length)]);
    size_t position = 0;
    for (int length = 1; length <= kMaxCodeLength; ++length) {
        for (int symbol = 0; symbol <= 255; ++symbol) {
            if (codeLength[size_t(symbol)] == length && position < table.symbols.size()) {
                table.symbols[position++] = uint8_t(symbol);
            }
        }
    }
    return table;
}

}  // namespace pagelift
