#pragma once

// A small Modified Huffman encoder for tests: the codings that no common tool
// writes (rows without EOL, byte- or word-aligned) and hand-made bit streams.

#include "support/fax_oracles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pagelift::testing {

// Collects bits in transmission order.
class BitWriter {
public:
    // Appends the 0/1 characters of `bits`; spaces are ignored.
    void put(const std::string& bits);
    // Appends zero bits up to a multiple of `bytes` bytes.
    void padTo(size_t bytes);
    size_t bitCount() const { return bits_.size(); }
    // The bytes, first bit in the most (lsbFirst false) or least significant
    // bit of each byte; a last partial byte is padded with zeros.
    std::vector<uint8_t> bytes(bool lsbFirst = false) const;

private:
    std::vector<uint8_t> bits_;
};

// The bytes of a bit string such as "0000 0000 0001 1".
std::vector<uint8_t> bytesFromBits(const std::string& bits, bool lsbFirst = false);

// Code words of one run (make-up codes as needed, then a terminating code).
std::string runCodeBits(int32_t run, int colour);

struct MhLayout {
    bool eolBeforeEachRow = false;  // T.4 style: EOL, row, EOL, row, ...
    size_t rowAlignment = 0;        // 0 none, 1 byte, 2 even byte offset
    int trailingEols = 0;           // 6 makes the T.4 end-of-page sequence
    bool lsbFirst = false;
    bool wordAfterRow = false;      // a two-byte word before the first row and after each (byte-aligned) row
};

// Codes every row of the picture as a Modified Huffman line.
std::vector<uint8_t> encodeMh(const Picture& picture, const MhLayout& layout);

}  // namespace pagelift::testing
