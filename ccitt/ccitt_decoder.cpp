#include "ccitt/ccitt_decoder.h"

#include <algorithm>
#include <array>

namespace pagelift {
namespace {

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
    at_.lsbFirst = bitOrder_ != 1;
    init(data, size);
}

void CcittDecoder::init(const uint8_t* data, int32_t size)
{
    at_.data = data;
    at_.size = size;
    at_.bytePos = 0;
    at_.bitPos = 0;
}

void CcittDecoder::setGeometry(int32_t width, int32_t height)
{
    width_ = width;
    height_ = height;
}

void CcittDecoder::moveToByte(int64_t position)
{
    const int64_t last = std::max<int64_t>(at_.size, 0);
    at_.bytePos = int32_t(std::clamp<int64_t>(position, -1, last));
}

void CcittDecoder::unreadBits(int count)
{
    if (count <= at_.bitPos) {
        at_.bitPos = uint8_t(at_.bitPos - count);
        return;
    }
    at_.bitPos = uint8_t(at_.bitPos + 8 - count);
    moveToByte(int64_t(at_.bytePos) - 1);
}

void CcittDecoder::alignToByte(int evenOffset)
{
    int64_t position = at_.bytePos;
    if (at_.bitPos > 0) {
        ++position;
        at_.bitPos = 0;
    }
    if (evenOffset != 0 && (position & 1) != 0) ++position;
    moveToByte(position);
}

void CcittDecoder::skipWord()
{
    int64_t position = at_.bytePos;
    if (at_.bitPos > 0) {
        ++position;
        at_.bitPos = 0;
    }
    moveToByte(position + 2);
}

void CcittDecoder::seekByte(int32_t position)
{
    moveToByte(position);
    at_.bitPos = 0;
}

int16_t CcittDecoder::findEol()
{
    const int16_t first = current();
    if (first < 0) return first;
    // Zeros at the end of the current byte, wherever the reader stands in it,
    // plus the zeros that open the following bytes.
    int zeros = kTrailingZeros[size_t(first)];
    for (;;) {
        int16_t next = readByte(1);
        if (next < 0) return next;
        zeros = std::min(zeros + kLeadingZeros[size_t(next)], kZeroCountCap);
        while (next == 0) {
            next = readByte(1);
            if (next < 0) return next;
            zeros = std::min(zeros + kLeadingZeros[size_t(next)], kZeroCountCap);
        }
        at_.bitPos = uint8_t(kLeadingZeros[size_t(next)] + 1);
        if (zeros >= 11) return 0;
        zeros = kTrailingZeros[size_t(next)];
    }
}

int32_t CcittDecoder::walkTree(const CodeTree& tree)
{
    int16_t bits = readBits(tree.firstBits);
    if (bits < 0) return bits;
    uint16_t entry = tree.entries[size_t(bits)];
    while ((entry & 1u) == 0) {
        bits = readBits((entry & 2u) ? 2 : 1);
        if (bits < 0) return bits;
        entry = tree.entries[size_t(entry >> 2) + size_t(bits)];
    }
    return entry;
}

}  // namespace pagelift
