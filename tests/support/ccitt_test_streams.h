#pragma once

// Hand-made coded streams for the CCITT unit tests, and a readable form of
// decoded rows ('W' white, 'B' black).

#include "ccitt/ccitt.h"
#include "support/mh_encoder.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace pagelift::testing {

inline const std::string kEol = "000000000001";

// Modified Huffman codes of a line given as run lengths, white first.
std::string mhLine(std::initializer_list<int32_t> runs);

// Horizontal mode: the mode code and a run of a0's colour, then one of the other.
std::string horizontalMode(int32_t first, int32_t second, int colourOfA0 = 0);

// Row `row` of a page as 'W' and 'B' characters.
std::string rowText(const PageBitmap& page, int32_t row);
std::vector<std::string> pageText(const PageBitmap& page);

// The rows, as pageText gives them, of the working image that the raw-stream
// writer for `coding` (FaxMhWithEol or FaxMr) makes of `bytes` at `width`,
// most significant bit first: the same page loop as the page decoder's,
// with its rows going to a file.
std::vector<std::string> workImageText(const std::vector<uint8_t>& bytes, int32_t width, uint8_t coding);

// The bytes of a bit string with the decoder that reads them, kept together
// so the bytes outlive the decoder.
struct CodedStream {
    std::vector<uint8_t> bytes;
    explicit CodedStream(const std::string& bits, bool lsbFirst = false) : bytes(bytesFromBits(bits, lsbFirst)) {}
    explicit CodedStream(std::vector<uint8_t> raw) : bytes(std::move(raw)) {}
    int32_t size() const { return int32_t(bytes.size()); }
};

}  // namespace pagelift::testing
