#pragma once

#include "ccitt/bit_reversal.h"
#include "ccitt/code_tree.h"
#include "ccitt/fax_coding.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace pagelift {

// Reads the coded bytes of one page (or strip) as a stream of bits in
// transmission order and recognises T.4/T.6 code words in it. The decoder
// does not own the bytes; they must outlive it. Running out of data is not an
// error here: the negative readByte code sticks in `current` and every later
// read returns it, so the line and page decoders simply end the page.
// Where a reader stands in a block of coded bytes: the byte it is in and the
// bits of that byte already taken (0..8). A plain value, so that a line
// decoder can keep it in registers while it writes row bytes, which the
// compiler must otherwise assume may overwrite any object it cannot see is
// private.
struct BitPosition {
    const uint8_t* data = nullptr;
    int32_t size = 0;
    int32_t bytePos = 0;
    uint8_t bitPos = 0;
    bool lsbFirst = false;  // the first bit of a byte is its least significant bit
};

// Looks the next code word up in the tree's lookahead table without walking
// the tree: on a hit (a valid code of at most kLookaheadBits bits lying
// wholly inside the data) moves past it exactly as walking the tree group by
// group would (bitPos 1..8 within the byte holding the code's last bit) and
// returns its leaf; otherwise returns 0 and leaves the position unchanged.
inline uint16_t lookUpCode(BitPosition& at, const CodeTree& tree);

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

    // The read position as a value, and putting one back: a position taken
    // from this decoder and moved on only by reading whole codes from it
    // (lookUpCode, LineBits), which leaves bitPos 1..8 as reading does.
    BitPosition position() const { return at_; }
    void setPosition(const BitPosition& position) { at_ = position; }

    const uint8_t* data() const { return at_.data; }
    int32_t size() const { return at_.size; }
    int32_t bytePos() const { return at_.bytePos; }
    int32_t markPos() const { return markPos_; }
    void setMarkPos(int32_t position) { markPos_ = position; }
    // The byte at the read position in transmission order, or the readByte
    // error code for a position without data.
    int16_t current() const;
    uint8_t bitOrder() const { return bitOrder_; }
    uint8_t bitPos() const { return at_.bitPos; }
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
    // The tree walk, group by group, for codes the lookahead does not hold.
    int32_t walkTree(const CodeTree& tree);

    BitPosition at_;
    int32_t markPos_ = 0;
    uint8_t bitOrder_ = 1;
    uint8_t rawStream_ = 0;
    uint8_t coding_ = 0;
    uint8_t polarity_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

namespace detail {
inline constexpr uint8_t kLowBitMask[9] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};

// Up to eight coded bytes from `position` as one word in storage order (the
// first byte lowest), bytes past the end as zero; `count` says how many are
// real. Eight bytes at once in the body of the data, byte by byte near its end.
inline uint64_t loadCodedBytes(const uint8_t* data, int32_t size, int32_t position, int& count)
{
    if (int64_t(position) + 8 <= size) {
        uint64_t word;
        std::memcpy(&word, data + position, sizeof word);
        count = 8;
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        return word;
    }
    uint64_t word = 0;
    count = size - position;
    for (int index = 0; index < count; ++index) word |= uint64_t(data[position + index]) << (8 * index);
    return word;
}
}  // namespace detail

inline uint16_t lookUpCode(BitPosition& at, const CodeTree& tree)
{
    if (at.data == nullptr || at.bytePos < 0 || at.bytePos >= at.size) return 0;
    int count = 0;
    const uint64_t word = detail::loadCodedBytes(at.data, at.size, at.bytePos, count);
    const unsigned indexMask = (1u << kLookaheadBits) - 1;
    uint16_t hit;
    if (at.lsbFirst) {
        // The stream runs from the lowest bit up: the table for reversed patterns.
        hit = tree.reversedLookahead[unsigned(word >> at.bitPos) & indexMask];
    } else {
        const uint64_t stream = __builtin_bswap64(word) << at.bitPos;
        hit = tree.lookahead[unsigned(stream >> (64 - kLookaheadBits))];
    }
    const int end = at.bitPos + (hit & 15);
    if (hit == 0 || end > 8 * count) return 0;
    if (end > 8) {
        const int bytes = (end - 1) / 8;
        at.bytePos += bytes;
        at.bitPos = uint8_t(end - 8 * bytes);
    } else {
        at.bitPos = uint8_t(end);
    }
    return uint16_t(hit >> 4);
}

inline int16_t CcittDecoder::current() const
{
    if (at_.data == nullptr) return -1;
    if (at_.bytePos < 0) return -2;
    if (at_.bytePos >= at_.size) return -3;
    const uint8_t byte = at_.data[at_.bytePos];
    return at_.lsbFirst ? kBitReversal[byte] : byte;
}

inline int16_t CcittDecoder::readByte(int advance)
{
    if (advance != 0) moveToByte(int64_t(at_.bytePos) + 1);
    return current();
}

inline int16_t CcittDecoder::readBits(int count)
{
    const int16_t byte = current();
    if (byte < 0) return byte;
    const int end = at_.bitPos + count;
    if (end <= 8) {
        at_.bitPos = uint8_t(end);
        return int16_t((byte >> (8 - end)) & detail::kLowBitMask[count]);
    }
    const int kept = byte & detail::kLowBitMask[8 - at_.bitPos];
    const int spill = end - 8;
    const int16_t next = readByte(1);
    if (next < 0) return next;
    at_.bitPos = uint8_t(spill);
    return int16_t(((kept << spill) | (next >> (8 - spill))) & detail::kLowBitMask[count]);
}

inline int32_t CcittDecoder::readLeaf(const CodeTree& tree)
{
    const uint16_t leaf = lookUpCode(at_, tree);
    return leaf != 0 ? leaf : walkTree(tree);
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
