#pragma once

// The quantised DCT coefficients of 8 x 8 blocks of 8-bit samples, exactly
// as the JPEG library computes them with its accurate integer transform
// (JDCT_ISLOW: the Loeffler-Ligtenberg-Moschytz factorisation, 13-bit
// constants, two passes) and its rounded quantisation. A fax page is
// two-valued and mostly blank: blocks of one colour, and rows of only black
// and white, take short cuts that give the same numbers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pagelift {

// A block's 64 quantised coefficients, in natural (row-major) order, are
// written to and read from an int16_t[64] (the JPEG library's JBLOCK).

class BlockTransform {
public:
    // `quantization` is the table the JPEG file states, in natural order.
    explicit BlockTransform(const std::array<uint16_t, 64>& quantization);

    // The coefficients of the block whose top-left sample is `samples`, each
    // next row `stride` bytes on (negative for rows kept bottom up). Returns which AC coefficients are not zero: bit
    // k for the k-th in coding (zigzag) order, 1 to 63.
    uint64_t transform(const uint8_t* samples, ptrdiff_t stride, int16_t* out) const;

    // The same for a block of black and white samples given as the eight
    // bytes of a one-bit page that its rows expand from, top row first (bit
    // 1 white, the most significant bit the leftmost sample). Blocks met
    // before are taken from a cache of recent ones: a fax page repeats the
    // same pieces of letters and lines many times.
    uint64_t transformBits(const uint8_t* rowBytes, int16_t* out);

private:
    // Row pass of the transform for a row of eight black (0) or white (255)
    // samples, by the bit pattern of its white samples (bit k: sample k).
    using RowOutput = std::array<int32_t, 8>;

    uint64_t transformGeneral(const uint8_t* samples, ptrdiff_t stride, int16_t* out) const;
    uint64_t columnPassAndQuantize(const std::array<int32_t, 64>& rows, int16_t* out) const;
    int16_t quantize(int32_t value, int index) const;

    // Division by quantization x 8 (the transform's own scaling).
    struct Reciprocal {
        int32_t divisor = 8;
        float inverse = 0.125f;
        int32_t half = 4;
    };
    std::array<Reciprocal, 64> reciprocals_{};
    std::array<RowOutput, 256> twoValuedRows_{};
    std::array<RowOutput, 256> byteRows_{};    // the same, by the page byte
    struct CachedBlock {
        uint64_t bits = 0;  // the eight page bytes; 0 (a black block) marks an empty entry
        uint64_t nonZero = 0;
        std::array<int16_t, 64> coefficients{};
    };
    std::vector<CachedBlock> recent_;  // by a hash of the bits
    std::array<int16_t, 64> black_{};          // a block of 0 samples
    std::array<int16_t, 64> white_{};          // a block of 255 samples
};

}  // namespace pagelift
