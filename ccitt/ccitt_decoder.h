#pragma once

#include "ccitt/code_tree.h"
#include "ccitt/fax_coding.h"

#include <cstdint>

namespace pagelift {

// Reads the coded bytes of one page (or strip) as a stream of bits in
// transmission order and recognises T.4/T.6 code words in it. The decoder
// does not own the bytes; they must outlive it. Running out of data is not an
// error here: the negative readByte code sticks in `current` and every later
// read returns it, so the line and page decoders simply end the page.
class CcittDecoder {
public:
    // bitOrder 1: the first bit of a byte is its most significant bit; any
    // other value: its least significant bit. coding is a FaxCoding code;
    // polarity 0 writes white runs as 1 bits, 1 writes black runs as 1 bits.
    CcittDecoder(const uint8_t* data, int32_t size, uint8_t bitOrder, uint8_t coding, uint8_t polarity);

    // Points the reader at the start of (data, size) again.
    void init(const uint8_t* data, int32_t size);
    // Pixels per line and the rows a page decoder allocates.
    void setGeometry(int32_t width, int32_t height);

    // Loads the byte at the read position (after moving one byte on when
    // advance != 0) into `current`, mapped to transmission order. Returns it,
    // or -1 without data, -2 before the start, -3 past the end.
    int16_t readByte(int advance);
    // The next count (1..8) bits, first bit most significant; a negative
    // readByte code once the data have run out (sticky).
    int16_t readBits(int count);
    // Steps back count (0..8) bits, reloading the previous byte if needed.
    void unreadBits(int count);
    // Moves to the next byte boundary unless already on one; with
    // evenOffset != 0 then on to an even offset within the coded block.
    void alignToByte(int evenOffset);
    // Aligns to a byte boundary and skips two bytes unread.
    void skipWord();
    // Moves to the start of byte `position` and loads it.
    void seekByte(int32_t position);

    // One run code of colour 0 (white) or 1 (black): 0..63 terminating,
    // 64..2560 make-up; EndOfData, BadCode, or EolCode (with any bit read
    // past the EOL put back).
    int32_t decodeRun(int colour);
    // Searches from the current position for 11 or more zero bits followed by
    // a one (zero runs inside a single byte are not looked at). Returns 0
    // with the reader just after that one, or the negative readByte code.
    int16_t findEol();
    // Walks `tree` from the current position: the leaf (> 0), or the
    // negative readByte code when the bits run out.
    int32_t readLeaf(const CodeTree& tree);

    const uint8_t* data() const { return data_; }
    int32_t size() const { return size_; }
    int32_t bytePos() const { return bytePos_; }
    int32_t markPos() const { return markPos_; }
    void setMarkPos(int32_t position) { markPos_ = position; }
    int16_t current() const { return current_; }
    uint8_t bitOrder() const { return bitOrder_; }
    uint8_t bitPos() const { return bitPos_; }
    uint8_t rawStream() const { return rawStream_; }
    void setRawStream(uint8_t raw) { rawStream_ = raw; }
    uint8_t coding() const { return coding_; }
    uint8_t polarity() const { return polarity_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

private:
    // Positions are kept within [-1, size] so no amount of skipping overflows;
    // every position outside the data reads the same error as before.
    void moveToByte(int64_t position);

    const uint8_t* data_ = nullptr;
    int32_t size_ = 0;
    int32_t bytePos_ = 0;
    int32_t markPos_ = 0;
    int16_t current_ = -1;
    uint8_t bitOrder_ = 1;
    uint8_t bitPos_ = 0;
    uint8_t rawStream_ = 0;
    uint8_t coding_ = 0;
    uint8_t polarity_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    const uint8_t* byteMap_ = nullptr;  // identity or bit reversal, by bitOrder
};

namespace detail {
inline constexpr uint8_t kLowBitMask[9] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};
}

inline int16_t CcittDecoder::readByte(int advance)
{
    if (advance != 0) moveToByte(int64_t(bytePos_) + 1);
    if (data_ == nullptr) {
        current_ = -1;
    } else if (bytePos_ < 0) {
        current_ = -2;
    } else if (bytePos_ >= size_) {
        current_ = -3;
    } else {
        current_ = byteMap_[data_[bytePos_]];
    }
    return current_;
}

inline int16_t CcittDecoder::readBits(int count)
{
    if (current_ < 0) return current_;
    const int end = bitPos_ + count;
    if (end <= 8) {
        bitPos_ = uint8_t(end);
        return int16_t((current_ >> (8 - end)) & detail::kLowBitMask[count]);
    }
    const int kept = current_ & detail::kLowBitMask[8 - bitPos_];
    const int spill = end - 8;
    const int16_t next = readByte(1);
    if (next < 0) return next;
    bitPos_ = uint8_t(spill);
    return int16_t(((kept << spill) | (next >> (8 - spill))) & detail::kLowBitMask[count]);
}

inline int32_t CcittDecoder::readLeaf(const CodeTree& tree)
{
    // With two whole bytes beyond the current one, at least 16 bits remain,
    // so a short code can be looked up at once.
    if (current_ >= 0 && int64_t(bytePos_) + 2 < size_) {
        const uint32_t window = uint32_t(current_) << 16 | uint32_t(byteMap_[data_[bytePos_ + 1]]) << 8 |
                                byteMap_[data_[bytePos_ + 2]];
        const uint32_t next = (window >> (24 - kLookaheadBits - bitPos_)) & ((1u << kLookaheadBits) - 1);
        const uint16_t hit = tree.lookahead[next];
        if (hit != 0) {
            // Stand where reading the code group by group would have left the
            // reader: bitPos 1..8 within the byte holding the code's last bit.
            const int end = bitPos_ + (hit & 15);
            if (end > 8) {
                const int bytes = (end - 1) / 8;
                bytePos_ += bytes;
                bitPos_ = uint8_t(end - 8 * bytes);
                current_ = byteMap_[data_[bytePos_]];
            } else {
                bitPos_ = uint8_t(end);
            }
            return hit >> 4;
        }
    }
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

constexpr bool isEolLeaf(int32_t leaf)
{
    return leaf == LeafEol || leaf == LeafEolThenZero || leaf == LeafEolThenOne;
}

inline int32_t CcittDecoder::decodeRun(int colour)
{
    const int32_t leaf = readLeaf(colour != 0 ? kBlackTree : kWhiteTree);
    if (leaf < 0) return EndOfData;
    if (leaf == LeafInvalid) return BadCode;
    if (isEolLeaf(leaf)) {
        if (leaf != LeafEol) unreadBits(1);
        return EolCode;
    }
    return leafRunLength(uint16_t(leaf));
}

}  // namespace pagelift
