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
//
// A plain value: a line decoder keeps a copy in locals, which the compiler
// can hold in registers while row bytes are written (a byte store may alias
// any object whose address has been handed out). The rare reads through the
// decoder take and return the buffer by value for the same reason.
// LsbFirst must match the decoder's bit order (CcittDecoder::position).
template <bool LsbFirst>
class LineBits {
public:
    explicit LineBits(CcittDecoder& decoder) : decoder_(&decoder) { takeFromDecoder(); }

    // As CcittDecoder::readLeaf.
    int32_t readLeaf(const CodeTree& tree)
    {
        const uint16_t leaf = lookUp(tree);
        if (leaf != 0) return leaf;
        int32_t walked = 0;
        *this = readThroughDecoder(*this, tree, walked);
        return walked;
    }

    // As CcittDecoder::decodeRun.
    int32_t decodeRun(int colour)
    {
        const uint16_t leaf = lookUp(colour != 0 ? kBlackTree : kWhiteTree);
        if (leaf != 0) return leafRunLength(leaf);
        int32_t run = 0;
        *this = decodeRunThroughDecoder(*this, colour, run);
        return run;
    }

    // As CcittDecoder::unreadBits.
    void unreadBits(int count) { *this = unreadThroughDecoder(*this, count); }

    // Puts the decoder where the codes read so far leave it. A line decoder
    // calls it before it returns, or before anything else moves the decoder.
    void handBack()
    {
        const int64_t next = int64_t(nextByte_) * 8 - available_;
        if (next == startBit_) return;  // nothing read since the decoder's position was taken
        BitPosition at = decoder_->position();
        at.bytePos = int32_t((next - 1) / 8);
        at.bitPos = uint8_t(next - int64_t(at.bytePos) * 8);
        decoder_->setPosition(at);
        startBit_ = next;
        // The decoder now stands at this very bit, in the form reading leaves.
    }

    // The offset, in bits from the start of the data, of the next bit to read.
    int64_t bitOffset() const { return int64_t(nextByte_) * 8 - available_; }

    // Starts the buffer again at the decoder's position, after something
    // else moved the decoder (handBack first).
    void resync() { takeFromDecoder(); }

    // The lookahead entry (leaf << 4 | code length) of the code at the read
    // position when the tree's lookahead holds it and its bits are in the
    // buffer, else 0. Takes nothing.
    uint16_t peek(const CodeTree& tree)
    {
        if (available_ < kLookaheadBits) {
            refill();
            // Only near the end of the data can a code be longer than the bits left.
            if (available_ < kLookaheadBits) {
                const uint16_t hit = entryFor(tree);
                return (hit & 15) <= available_ ? hit : uint16_t(0);
            }
        }
        return entryFor(tree);
    }

    // Moves past an EOL at the read position, fill zeros before it included,
    // when the buffer holds all of it; returns false (taking nothing) when it
    // does not, whether or not an EOL is there.
    bool takeEol()
    {
        if (available_ < 32) refill();
        const uint64_t bitsHeld = available_ >= 64 ? ~uint64_t(0)
                                                   : (LsbFirst ? (uint64_t(1) << available_) - 1
                                                               : ~(~uint64_t(0) >> available_));
        const uint64_t held = window_ & bitsHeld;
        if (held == 0) return false;  // only zeros in the buffer: where they end is not known
        const int zeros = LsbFirst ? std::countr_zero(held) : std::countl_zero(held);
        if (zeros < kEolZeros || zeros >= 63) return false;
        skip(zeros + 1);
        return true;
    }

    // Moves past a code peek found (length = its low four bits).
    void skip(int length)
    {
        window_ = LsbFirst ? window_ >> length : window_ << length;
        available_ -= length;
    }

private:
    static constexpr int kEolZeros = 11;  // an EOL: eleven zeros, then a one

    // The lookahead entry for the next kLookaheadBits bits of the buffer.
    uint16_t entryFor(const CodeTree& tree) const
    {
        if constexpr (LsbFirst) {
            return tree.reversedLookahead[unsigned(window_) & ((1u << kLookaheadBits) - 1)];
        } else {
            return tree.lookahead[unsigned(window_ >> (64 - kLookaheadBits))];
        }
    }

    // The leaf of the code at the read position when peek finds it, after
    // moving past it; else 0.
    uint16_t lookUp(const CodeTree& tree)
    {
        const uint16_t hit = peek(tree);
        if (hit == 0) return 0;
        skip(hit & 15);
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
        const BitPosition at = decoder_->position();
        data_ = at.data;
        window_ = 0;
        available_ = 0;
        if (at.data == nullptr || at.bytePos < 0 || at.bytePos >= at.size || at.bitPos > 8) {
            size_ = 0;
            nextByte_ = 0;
            startBit_ = 0;
            return;
        }
        size_ = at.size;
        nextByte_ = at.bytePos;
        refill();
        // Drop the bits of the first byte already taken.
        window_ = LsbFirst ? window_ >> at.bitPos : window_ << at.bitPos;
        available_ -= at.bitPos;
        startBit_ = int64_t(nextByte_) * 8 - available_;
    }

    [[gnu::noinline]] static LineBits readThroughDecoder(LineBits bits, const CodeTree& tree, int32_t& leaf)
    {
        bits.handBack();
        leaf = bits.decoder_->readLeaf(tree);
        bits.takeFromDecoder();
        return bits;
    }

    [[gnu::noinline]] static LineBits decodeRunThroughDecoder(LineBits bits, int colour, int32_t& run)
    {
        bits.handBack();
        run = bits.decoder_->decodeRun(colour);
        bits.takeFromDecoder();
        return bits;
    }

    [[gnu::noinline]] static LineBits unreadThroughDecoder(LineBits bits, int count)
    {
        bits.handBack();
        bits.decoder_->unreadBits(count);
        bits.takeFromDecoder();
        return bits;
    }

    CcittDecoder* decoder_;
    const uint8_t* data_ = nullptr;
    int32_t size_ = 0;
    int32_t nextByte_ = 0;  // the first byte not yet in the buffer
    uint64_t window_ = 0;
    int available_ = 0;     // bits of window_ that are the data's next bits
    int64_t startBit_ = 0;  // the bit the decoder's position stands before
};

}  // namespace pagelift
