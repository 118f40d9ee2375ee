#pragma once

#include "ccitt/ccitt_decoder.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace pagelift {

// The decoder's read position taken into a 64-bit bit buffer while a line
// decoder runs, so that a code costs a table lookup and a shift instead of
// byte bookkeeping. The buffer holds the next bits in transmission order:
// from its top bit down for data read most significant bit first, from its
// bottom bit up for data read least significant bit first (the trees'
// reversedLookahead tables are indexed that way).
//
// Only codes the lookahead tables hold, lying wholly inside the data, are
// read from the buffer. Everything else (EOLs, long and invalid codes, the
// end of the data) is handed to the decoder's own reader at the exact
// position, and the buffer starts again from where that leaves the decoder.
// So the decoder always ends where reading code by code would leave it:
// after a code, bitPos 1..8 within the byte holding its last bit.
// LsbFirst must match the decoder's bit order (CcittDecoder::position).
template <bool LsbFirst>
class LineBits {
public:
    explicit LineBits(CcittDecoder& decoder) : decoder_(decoder) { takeFromDecoder(); }

    // As CcittDecoder::readLeaf.
    int32_t readLeaf(const CodeTree& tree)
    {
        const uint16_t leaf = lookUp(tree);
        if (leaf != 0) return leaf;
        handBack();
        const int32_t walked = decoder_.readLeaf(tree);
        takeFromDecoder();
        return walked;
    }

    // As CcittDecoder::decodeRun.
    int32_t decodeRun(int colour)
    {
        const uint16_t leaf = lookUp(colour != 0 ? kBlackTree : kWhiteTree);
        if (leaf != 0) return leafRunLength(leaf);
        handBack();
        const int32_t run = decoder_.decodeRun(colour);
        takeFromDecoder();
        return run;
    }

    // As CcittDecoder::unreadBits.
    void unreadBits(int count)
    {
        handBack();
        decoder_.unreadBits(count);
        takeFromDecoder();
    }

    // Puts the decoder where the codes read so far leave it. The line
    // decoder calls it before it returns.
    void handBack()
    {
        if (!moved_) return;
        // The bit after the last one taken, counted from the start of the data.
        const int64_t next = int64_t(nextByte_) * 8 - available_;
        BitPosition at = decoder_.position();
        at.bytePos = int32_t((next - 1) / 8);
        at.bitPos = uint8_t(next - int64_t(at.bytePos) * 8);
        decoder_.setPosition(at);
        moved_ = false;
    }

    // Starts the buffer again at the decoder's position, after something
    // else moved the decoder (handBack first).
    void resync() { takeFromDecoder(); }

private:
    // The leaf of the code at the read position when the tree's lookahead
    // holds it and its bits are in the buffer, after moving past it; else 0.
    uint16_t lookUp(const CodeTree& tree)
    {
        if (available_ < kLookaheadBits) refill();
        uint16_t hit;
        if constexpr (LsbFirst) {
            hit = tree.reversedLookahead[unsigned(window_) & ((1u << kLookaheadBits) - 1)];
        } else {
            hit = tree.lookahead[unsigned(window_ >> (64 - kLookaheadBits))];
        }
        const int length = hit & 15;
        if (hit == 0 || length > available_) return 0;
        window_ = LsbFirst ? window_ >> length : window_ << length;
        available_ -= length;
        moved_ = true;
        return uint16_t(hit >> 4);
    }

    // Tops the buffer up with whole bytes. Bits below the counted ones may
    // already hold the data's next bits; adding them again changes nothing.
    void refill()
    {
        if (nextByte_ >= size_) return;
        uint64_t bytes = 0;
        int count = 8;
        if (int64_t(nextByte_) + 8 <= size_) {
            std::memcpy(&bytes, data_ + nextByte_, sizeof bytes);
            if constexpr (std::endian::native == std::endian::big) bytes = __builtin_bswap64(bytes);
        } else {
            count = size_ - nextByte_;
            for (int index = 0; index < count; ++index) bytes |= uint64_t(data_[nextByte_ + index]) << (8 * index);
        }
        const int room = (64 - available_) / 8;
        const int taken = count < room ? count : room;
        if constexpr (LsbFirst) {
            window_ |= bytes << available_;
        } else {
            window_ |= __builtin_bswap64(bytes) >> available_;
        }
        nextByte_ += taken;
        available_ += 8 * taken;
    }

    // Starts the buffer at the decoder's position; with no data there the
    // buffer stays empty and every read goes to the decoder.
    void takeFromDecoder()
    {
        const BitPosition at = decoder_.position();
        data_ = at.data;
        window_ = 0;
        available_ = 0;
        moved_ = false;
        if (at.data == nullptr || at.bytePos < 0 || at.bytePos >= at.size || at.bitPos > 8) {
            size_ = 0;
            nextByte_ = 0;
            return;
        }
        size_ = at.size;
        nextByte_ = at.bytePos;
        refill();
        // Drop the bits of the first byte already taken.
        window_ = LsbFirst ? window_ >> at.bitPos : window_ << at.bitPos;
        available_ -= at.bitPos;
    }

    CcittDecoder& decoder_;
    const uint8_t* data_ = nullptr;
    int32_t size_ = 0;
    int32_t nextByte_ = 0;  // the first byte not yet in the buffer
    uint64_t window_ = 0;
    int available_ = 0;     // bits of window_ that are the data's next bits
    bool moved_ = false;    // codes were taken since the decoder's position was last read
};

}  // namespace pagelift
