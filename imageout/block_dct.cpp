#include "imageout/block_dct.h"

#include "imageout/huffman_tables.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pagelift {
namespace {

// The transform's fixed-point arithmetic: constants scaled by 2^13, the row
// pass keeping 2 extra bits of precision for the column pass.
constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
constexpr int kCenter = 128;

constexpr int32_t kFix_0_298631336 = 2446;
constexpr int32_t kFix_0_390180644 = 3196;
constexpr int32_t kFix_0_541196100 = 4433;
constexpr int32_t kFix_0_765366865 = 6270;
constexpr int32_t kFix_0_899976223 = 7373;
constexpr int32_t kFix_1_175875602 = 9633;
constexpr int32_t kFix_1_501321110 = 12299;
constexpr int32_t kFix_1_847759065 = 15137;
constexpr int32_t kFix_1_961570560 = 16069;
constexpr int32_t kFix_2_053119869 = 16819;
constexpr int32_t kFix_2_562915447 = 20995;
constexpr int32_t kFix_3_072711026 = 25172;

constexpr int32_t descale(int32_t value, int bits)
{
    return (value + (int32_t{1} << (bits - 1))) >> bits;
}

// The row pass over eight samples (centred on 0), keeping kPass1Bits more
// bits of precision for the column pass.
void rowPass(const int32_t* in, int32_t* out)
{
    const int32_t tmp0 = in[0] + in[7];
    const int32_t tmp7 = in[0] - in[7];
    const int32_t tmp1 = in[1] + in[6];
    const int32_t tmp6 = in[1] - in[6];
    const int32_t tmp2 = in[2] + in[5];
    const int32_t tmp5 = in[2] - in[5];
    const int32_t tmp3 = in[3] + in[4];
    const int32_t tmp4 = in[3] - in[4];

    // Even part.
    const int32_t tmp10 = tmp0 + tmp3;
    const int32_t tmp13 = tmp0 - tmp3;
    const int32_t tmp11 = tmp1 + tmp2;
    const int32_t tmp12 = tmp1 - tmp2;
    constexpr int kShift = kConstBits - kPass1Bits;
    out[0] = (tmp10 + tmp11) * (1 << kPass1Bits);
    out[4] = (tmp10 - tmp11) * (1 << kPass1Bits);
    const int32_t z1 = (tmp12 + tmp13) * kFix_0_541196100;
    out[2] = descale(z1 + tmp13 * kFix_0_765366865, kShift);
    out[6] = descale(z1 - tmp12 * kFix_1_847759065, kShift);

    // Odd part.
    const int32_t z5 = (tmp4 + tmp6 + tmp5 + tmp7) * kFix_1_175875602;
    const int32_t w1 = -(tmp4 + tmp7) * kFix_0_899976223;
    const int32_t w2 = -(tmp5 + tmp6) * kFix_2_562915447;
    const int32_t w3 = -(tmp4 + tmp6) * kFix_1_961570560 + z5;
    const int32_t w4 = -(tmp5 + tmp7) * kFix_0_390180644 + z5;
    out[7] = descale(tmp4 * kFix_0_298631336 + w1 + w3, kShift);
    out[5] = descale(tmp5 * kFix_2_053119869 + w2 + w4, kShift);
    out[3] = descale(tmp6 * kFix_3_072711026 + w2 + w3, kShift);
    out[1] = descale(tmp7 * kFix_1_501321110 + w1 + w4, kShift);
}

}  // namespace

BlockTransform::BlockTransform(const std::array<uint16_t, 64>& quantization)
{
    for (size_t i = 0; i < 64; ++i) {
        // The transform's outputs carry a factor of 8: the divisor does too.
        const int32_t divisor = int32_t(std::max<uint16_t>(quantization[i], 1)) << 3;
        reciprocals_[i].divisor = divisor;
        reciprocals_[i].inverse = 1.0f / float(divisor);
        reciprocals_[i].half = divisor / 2;
    }
    for (unsigned pattern = 0; pattern < 256; ++pattern) {
        int32_t samples[8];
        for (int column = 0; column < 8; ++column) {
            samples[column] = ((pattern >> column) & 1u) != 0 ? 255 - kCenter : 0 - kCenter;
        }
        rowPass(samples, twoValuedRows_[pattern].data());
    }
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned pattern = 0;  // sample k is bit 7 - k of the byte
        for (unsigned k = 0; k < 8; ++k) pattern |= ((byte >> (7 - k)) & 1u) << k;
        byteRows_[byte] = twoValuedRows_[pattern];
    }
    uint8_t uniform[64];
    std::memset(uniform, 0, sizeof uniform);
    transformGeneral(uniform, 8, black_.data());
    std::memset(uniform, 255, sizeof uniform);
    transformGeneral(uniform, 8, white_.data());
}

int16_t BlockTransform::quantize(int32_t value, int index) const
{
    // Rounded to the nearest, halves away from zero: (|v| + d/2) / d. The
    // quotient estimated through the reciprocal in single precision is off
    // by at most one for dividends below 2^20, and is then put right, so
    // the result is the exact integer division's.
    const Reciprocal& divisor = reciprocals_[size_t(index)];
    const int32_t magnitude = (value < 0 ? -value : value) + divisor.half;
    int32_t quotient = int32_t(float(magnitude) * divisor.inverse);
    quotient += int32_t((quotient + 1) * divisor.divisor <= magnitude) - int32_t(quotient * divisor.divisor > magnitude);
    return int16_t(value < 0 ? -quotient : quotient);
}

namespace {

// Which coefficients of a block in coding order are not zero, bit k for the
// k-th (zigzag) one.
uint64_t nonZeroInCodingOrder(const int16_t* block)
{
    alignas(16) int16_t zigzag[64];
    for (size_t k = 0; k < 64; ++k) zigzag[k] = block[kZigzagToNatural[k]];
    uint64_t mask = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int part = 0; part < 4; ++part) {
        const __m128i low = _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(zigzag + part * 16)), zero);
        const __m128i high =
            _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(zigzag + part * 16 + 8)), zero);
        const auto zeros = uint32_t(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
        mask |= uint64_t(~zeros & 0xFFFFu) << (part * 16);
    }
#else
    for (size_t k = 0; k < 64; ++k) mask |= uint64_t(zigzag[k] != 0) << k;
#endif
    return mask & ~uint64_t{1};  // the DC coefficient is counted apart
}

}  // namespace

uint64_t BlockTransform::columnPassAndQuantize(const std::array<int32_t, 64>& rows, int16_t* out) const
{
    // The column pass for all eight columns at once, one statement per step
    // over the eight lanes, which the compiler turns into vector operations.
    int32_t tmp[8][8];
    for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 8; ++c) {
            tmp[i][c] = rows[size_t(i * 8 + c)] + rows[size_t((7 - i) * 8 + c)];
            tmp[7 - i][c] = rows[size_t(i * 8 + c)] - rows[size_t((7 - i) * 8 + c)];
        }
    }
    constexpr int kShift = kConstBits + kPass1Bits;
    std::array<int32_t, 64> columns;
    for (int c = 0; c < 8; ++c) {
        const int32_t tmp10 = tmp[0][c] + tmp[3][c];
        const int32_t tmp13 = tmp[0][c] - tmp[3][c];
        const int32_t tmp11 = tmp[1][c] + tmp[2][c];
        const int32_t tmp12 = tmp[1][c] - tmp[2][c];
        columns[size_t(0 * 8 + c)] = descale(tmp10 + tmp11, kPass1Bits);
        columns[size_t(4 * 8 + c)] = descale(tmp10 - tmp11, kPass1Bits);
        const int32_t z1 = (tmp12 + tmp13) * kFix_0_541196100;
        columns[size_t(2 * 8 + c)] = descale(z1 + tmp13 * kFix_0_765366865, kShift);
        columns[size_t(6 * 8 + c)] = descale(z1 - tmp12 * kFix_1_847759065, kShift);
    }
    for (int c = 0; c < 8; ++c) {
        const int32_t tmp4 = tmp[4][c];
        const int32_t tmp5 = tmp[5][c];
        const int32_t tmp6 = tmp[6][c];
        const int32_t tmp7 = tmp[7][c];
        const int32_t z5 = (tmp4 + tmp6 + tmp5 + tmp7) * kFix_1_175875602;
        const int32_t w1 = -(tmp4 + tmp7) * kFix_0_899976223;
        const int32_t w2 = -(tmp5 + tmp6) * kFix_2_562915447;
        const int32_t w3 = -(tmp4 + tmp6) * kFix_1_961570560 + z5;
        const int32_t w4 = -(tmp5 + tmp7) * kFix_0_390180644 + z5;
        columns[size_t(7 * 8 + c)] = descale(tmp4 * kFix_0_298631336 + w1 + w3, kShift);
        columns[size_t(5 * 8 + c)] = descale(tmp5 * kFix_2_053119869 + w2 + w4, kShift);
        columns[size_t(3 * 8 + c)] = descale(tmp6 * kFix_3_072711026 + w2 + w3, kShift);
        columns[size_t(1 * 8 + c)] = descale(tmp7 * kFix_1_501321110 + w1 + w4, kShift);
    }
    for (int i = 0; i < 64; ++i) out[i] = quantize(columns[size_t(i)], i);
    return nonZeroInCodingOrder(out);
}

uint64_t BlockTransform::transformGeneral(const uint8_t* samples, ptrdiff_t stride, int16_t* out) const
{
    std::array<int32_t, 64> rows;
    for (size_t row = 0; row < 8; ++row) {
        int32_t centred[8];
        const uint8_t* rowSamples = samples + ptrdiff_t(row) * stride;
        for (size_t column = 0; column < 8; ++column) centred[column] = int32_t(rowSamples[column]) - kCenter;
        rowPass(centred, rows.data() + row * 8);
    }
    return columnPassAndQuantize(rows, out);
}

uint64_t BlockTransform::transformBits(const uint8_t* rowBytes, int16_t* out)
{
    uint64_t word;
    std::memcpy(&word, rowBytes, 8);
    if (word == 0 || word == ~uint64_t{0}) {
        std::memcpy(out, word == 0 ? black_.data() : white_.data(), sizeof black_);
        return 0;
    }
    constexpr unsigned kCacheBits = 11;
    if (recent_.empty()) recent_.resize(size_t{1} << kCacheBits);
    CachedBlock& cached = recent_[size_t((word * 0x9E3779B97F4A7C15ull) >> (64 - kCacheBits))];
    if (cached.bits == word) {
        std::memcpy(out, cached.coefficients.data(), sizeof cached.coefficients);
        return cached.nonZero;
    }
    std::array<int32_t, 64> rows;
    for (size_t row = 0; row < 8; ++row) std::memcpy(rows.data() + row * 8, byteRows_[rowBytes[row]].data(), 32);
    const uint64_t nonZero = columnPassAndQuantize(rows, out);
    cached.bits = word;
    cached.nonZero = nonZero;
    std::memcpy(cached.coefficients.data(), out, sizeof cached.coefficients);
    return nonZero;
}

uint64_t BlockTransform::transform(const uint8_t* samples, ptrdiff_t stride, int16_t* out) const
{
    uint64_t words[8];
    for (ptrdiff_t row = 0; row < 8; ++row) std::memcpy(&words[row], samples + row * stride, 8);
    // One colour: every row the same word, all zero or all one bits.
    if (words[0] == 0 || words[0] == ~uint64_t{0}) {
        bool uniform = true;
        for (size_t row = 1; row < 8; ++row) uniform = uniform && words[row] == words[0];
        if (uniform) {
            std::memcpy(out, words[0] == 0 ? black_.data() : white_.data(), sizeof black_);
            return 0;
        }
    }
    // A row is two-valued when every byte is 0x00 or 0xFF: each byte's bits
    // all equal its top bit.
    constexpr uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Full;
    constexpr uint64_t kTopBits = 0x8080808080808080ull;
    // Gathers the top bit of byte k (sample k) into bit 56 + k.
    constexpr uint64_t kGather = 0x0002040810204081ull;
    std::array<int32_t, 64> rows;
    for (size_t row = 0; row < 8; ++row) {
        const uint64_t word = words[row];
        if (((word ^ (word >> 1)) & kLowBits) != 0) return transformGeneral(samples, stride, out);
        const auto pattern = uint8_t(((word & kTopBits) * kGather) >> 56);
        std::memcpy(rows.data() + row * 8, twoValuedRows_[pattern].data(), 32);
    }
    return columnPassAndQuantize(rows, out);
}

}  // namespace pagelift
