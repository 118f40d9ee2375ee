#pragma once

#include <cstdint>

namespace pagelift {

// The coded forms a CCITT page can arrive in. The numbers are stored in
// PageBitmap::coding and in the raw-fax working files, so they never change.
enum FaxCoding : uint8_t {
    FaxMhByteAligned = 3,  // Modified Huffman rows without EOL, each row on a byte boundary
    FaxMhWordAligned = 4,  // as 3, each row on an even byte offset
    FaxMhWithEol = 5,      // T.4 one-dimensional: Modified Huffman lines ended by EOL
    FaxMr = 6,             // T.4 two-dimensional: EOL plus tag bit, then a 1-D or 2-D line
    FaxMmr = 7,            // T.6
};

// Results the line decoders give besides a pixel total (always >= 0).
enum DecodeResult : int32_t {
    EndOfData = -11,         // the coded bits ran out inside a line
    BadCode = -12,           // no valid code word, or a code that cannot apply here
    EolCode = -13,           // an EOL where a run or mode code was expected
    EndAfterFullLine = -14,  // the bits ran out right after a line of exactly `width` pixels
};

}  // namespace pagelift
