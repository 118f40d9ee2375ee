#include "ccitt/ccitt_decoder.h"

#include "ccitt/bit_reversal.h"

#include <algorithm>
#include <array>

namespace pagelift {
namespace {

constexpr std::array<uint8_t, 256> makeIdentityTable()
{
    std::array<uint8_t, 256> table{};
    for (unsigned value = 0; value < 256; ++value) table[value] = uint8_t(value);
    return table;
}

constexpr std::array<uint8_t, 256> makeZeroCountTable(bool leading)
{
    std::array<uint8_t, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        uint8_t zeros = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            const unsigned mask = leading ? (0x80u >> bit) : (1u << bit);
            if (value & mask) break;
            ++zeros;
        }
        table[value] = zeros;
    }
    return table;
}

constexpr std::array<uint8_t, 256> kIdentity = makeIdentityTable();
constexpr std::array<uint8_t, 256> kLeadingZeros = makeZeroCountTable(true);
constexpr std::array<uint8_t, 256> kTrailingZeros = makeZeroCountTable(false);

// More zeros than this are all the same to the EOL search; capping keeps the
// count from overflowing on long stretches of zero bytes.
constexpr int kZeroCountCap = 64;

}  // namespace

CcittDecoder::CcittDecoder(const uint8_t* data, int32_t size, uint8_t bitOrder, uint8_t coding,
                           uint8_t polarity)
    : bitOrder_(bitOrder), coding_(coding), polarity_(polarity)
{
    byteMap_ = bitOrder_ == 1 ? kIdentity.data() : kBitReversal.data();
    init(data, size);
}

void CcittDecoder::init(const uint8_t* data, int32_t size)
{
    data_ = data;
    size_ = size;
    bytePos_ = 0;
    bitPos_ = 0;
    readByte(0);
}

void CcittDecoder::setGeometry(int32_t width, int32_t height)
{
    width_ = width;
    height_ = height;
}

void CcittDecoder::moveToByte(int64_t position)
{
    const int64_t last = std::max<int64_t>(size_, 0);
    bytePos_ = int32_t(std::clamp<int64_t>(position, -1, last));
}

void CcittDecoder::unreadBits(int count)
{
    if (count <= bitPos_) {
        bitPos_ = uint8_t(bitPos_ - count);
        return;
    }
    bitPos_ = uint8_t(bitPos_ + 8 - count);
    moveToByte(int64_t(bytePos_) - 1);
    readByte(0);
}

void CcittDecoder::alignToByte(int evenOffset)
{
    int64_t position = bytePos_;
    if (bitPos_ > 0) {
        ++position;
        bitPos_ = 0;
    }
    if (evenOffset != 0 && (position & 1) != 0) ++position;
    moveToByte(position);
    readByte(0);
}

void CcittDecoder::skipWord()
{
    int64_t position = bytePos_;
    if (bitPos_ > 0) {
        ++position;
        bitPos_ = 0;
    }
    moveToByte(position + 2);
    readByte(0);
}

void CcittDecoder::seekByte(int32_t position)
{
    moveToByte(position);
    bitPos_ = 0;
    readByte(0);
}

int16_t CcittDecoder::findEol()
{
    if (current_ < 0) return current_;
    // Zeros at the end of the current byte, wherever the reader stands in it,
    // plus the zeros that open the following bytes.
    int zeros = kTrailingZeros[size_t(current_)];
    for (;;) {
        int16_t next = readByte(1);
        if (next < 0) return next;
        zeros = std::min(zeros + kLeadingZeros[size_t(next)], kZeroCountCap);
        while (next == 0) {
            next = readByte(1);
            if (next < 0) return next;
            zeros = std::min(zeros + kLeadingZeros[size_t(next)], kZeroCountCap);
        }
        bitPos_ = uint8_t(kLeadingZeros[size_t(next)] + 1);
        if (zeros >= 11) return 0;
        zeros = kTrailingZeros[size_t(next)];
    }
}

}  // namespace pagelift
