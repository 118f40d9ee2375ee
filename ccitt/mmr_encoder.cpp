#include "ccitt/mmr_encoder.h"

#include "ccitt/t4_code_tables.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>

namespace pagelift {
namespace {

struct Code {
    uint16_t bits = 0;
    uint8_t length = 0;
};

constexpr Code codeOf(const char* text)
{
    Code code;
    for (; *text != '\0'; ++text) {
        code.bits = uint16_t((code.bits << 1) | (*text == '1' ? 1 : 0));
        ++code.length;
    }
    return code;
}

// The run codes of one colour by run length: terminating codes for 0 to 63,
// make-up codes for each multiple of 64 up to 2560 (index run / 64).
struct ColourCodes {
    std::array<Code, 64> terminating{};
    std::array<Code, 41> makeUp{};
};

constexpr ColourCodes colourCodes(std::span<const t4::RunCode> codes)
{
    ColourCodes table;
    for (const t4::RunCode& code : codes) {
        if (code.run < 64) {
            table.terminating[code.run] = codeOf(code.bits);
        } else {
            table.makeUp[code.run / 64] = codeOf(code.bits);
        }
    }
    for (const t4::RunCode& code : t4::kExtendedMakeUpCodes) table.makeUp[code.run / 64] = codeOf(code.bits);
    return table;
}

constexpr std::array<ColourCodes, 2> kRunCodes = {colourCodes(t4::kWhiteCodes), colourCodes(t4::kBlackCodes)};

constexpr Code modeCode(uint8_t mode)
{
    for (const t4::ModeCode& code : t4::kModeCodes) {
        if (code.mode == mode) return codeOf(code.bits);
    }
    return {};
}

constexpr Code kPass = modeCode(t4::ModePass);
constexpr Code kHorizontal = modeCode(t4::ModeHorizontal);
// Vertical codes by a1 - b1 + 3.
constexpr std::array<Code, 7> kVertical = {modeCode(t4::ModeVL3), modeCode(t4::ModeVL2), modeCode(t4::ModeVL1),
                                           modeCode(t4::ModeV0),  modeCode(t4::ModeVR1), modeCode(t4::ModeVR2),
                                           modeCode(t4::ModeVR3)};
constexpr Code kEol = codeOf(t4::kEolBits);

// Collects codes most significant bit first into whole bytes.
class BitSink {
public:
    explicit BitSink(std::vector<uint8_t>& out) : out_(out) {}

    void put(Code code)
    {
        pending_ = (pending_ << code.length) | code.bits;
        count_ += code.length;
        if (count_ >= 32) {
            count_ -= 32;
            const uint32_t word = uint32_t(pending_ >> count_);
            const uint8_t bytes[4] = {uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)};
            out_.insert(out_.end(), bytes, bytes + 4);
        }
    }

    // Writes the bits still held, the last byte filled with zero bits.
    void flush()
    {
        for (; count_ >= 8; count_ -= 8) out_.push_back(uint8_t(pending_ >> (count_ - 8)));
        if (count_ > 0) out_.push_back(uint8_t(pending_ << (8 - count_)));
        count_ = 0;
    }

private:
    std::vector<uint8_t>& out_;
    uint64_t pending_ = 0;  // the last count_ bits are not written yet
    int count_ = 0;
};

void putRun(BitSink& sink, int32_t run, int colour)
{
    const ColourCodes& codes = kRunCodes[size_t(colour)];
    // Runs past the longest make-up code take 2560 as often as needed,
    // leaving a rest that one make-up and one terminating code hold.
    for (; run >= 2560 + 64; run -= 2560) sink.put(codes.makeUp[40]);
    if (run >= 64) sink.put(codes.makeUp[size_t(run / 64)]);
    sink.put(codes.terminating[size_t(run % 64)]);
}

// Up to eight bytes of a row as a word, the first byte in the top bits
// (the leftmost pixel in the top bit); bytes past `count` are zero.
uint64_t rowWord(const uint8_t* bytes, int32_t count)
{
    if (count == 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes, 8);
        return std::endian::native == std::endian::little ? __builtin_bswap64(word) : word;
    }
    uint64_t word = 0;
    for (int32_t index = 0; index < count; ++index) word |= uint64_t{bytes[index]} << (56 - 8 * index);
    return word;
}

// The changing elements of a row (the pixels whose colour differs from the
// one left of them, left of the first pixel being white), followed by three
// entries of `width` that stand for the imaginary changing elements past
// the end, so that b1, b2, a1 and a2 can always be read. The row is read 64
// pixels at a time: a pixel changes where the word differs from itself
// moved one pixel on.
void findChanges(const uint8_t* row, int32_t width, std::vector<int32_t>& changes)
{
    changes.clear();
    const int32_t byteCount = (width + 7) / 8;
    uint64_t left = 1;  // the pixel left of the word: white before the first
    for (int32_t start = 0; start < byteCount; start += 8) {
        const int32_t first = start * 8;
        uint64_t word = rowWord(row + start, std::min(8, byteCount - start));
        const int32_t pixels = std::min(64, width - first);
        if (pixels < 64) {
            // Past the width every pixel repeats the last one: no change there.
            const uint64_t inside = ~uint64_t{0} << (64 - pixels);
            word = (word & inside) | (((word >> (64 - pixels)) & 1) != 0 ? ~inside : 0);
        }
        uint64_t changed = word ^ ((word >> 1) | (left << 63));
        left = word & 1;
        while (changed != 0) {
            const int lead = std::countl_zero(changed);
            changes.push_back(first + lead);
            changed ^= uint64_t{1} << (63 - lead);
        }
    }
    changes.insert(changes.end(), 3, width);
}

// Codes one line against its reference line, both given as changing
// elements (see findChanges).
void encodeLine(BitSink& sink, const std::vector<int32_t>& line, const std::vector<int32_t>& reference, int32_t width)
{
    int32_t a0 = -1;  // the imaginary white element before the line
    int colour = 0;   // of a0: 0 white, 1 black
    size_t next = 0;  // the line's first changing element right of a0: a1
    size_t right = 0; // the reference's first changing element right of a0
    while (a0 < width) {
        while (reference[right] <= a0) ++right;
        // b1 has the colour opposite to a0's: elements at even places turn
        // to black, those at odd places to white. The one passed over may
        // still be b1 later: a vertical code can put a0 left of it again.
        const size_t b = right + ((right & 1u) != size_t(colour) ? 1 : 0);
        const int32_t b1 = reference[b];
        const int32_t b2 = reference[b + 1];
        const int32_t a1 = line[next];
        if (b2 < a1) {
            sink.put(kPass);
            a0 = b2;
        } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
            sink.put(kVertical[size_t(a1 - b1 + 3)]);
            a0 = a1;
            colour ^= 1;
            ++next;
        } else {
            const int32_t a2 = line[next + 1];
            sink.put(kHorizontal);
            putRun(sink, a1 - (a0 < 0 ? 0 : a0), colour);
            putRun(sink, a2 - a1, colour ^ 1);
            a0 = a2;
            next += 2;
        }
    }
}

}  // namespace

std::vector<uint8_t> encodeMmrPage(const uint8_t* pixels, int32_t width, int32_t rows, int32_t bytesPerRow)
{
    std::vector<uint8_t> out;
    if (width < 1 || rows < 0 || int64_t{bytesPerRow} * 8 < width || (rows > 0 && pixels == nullptr)) return out;
    BitSink sink(out);
    std::vector<int32_t> reference(3, width);  // the imaginary white line above the first
    std::vector<int32_t> line;
    // A row has at most width changing elements besides the three past it.
    reference.reserve(size_t(width) + 3);
    line.reserve(size_t(width) + 3);
    for (int32_t row = 0; row < rows; ++row) {
        findChanges(pixels + int64_t{row} * bytesPerRow, width, line);
        encodeLine(sink, line, reference, width);
        reference.swap(line);
    }
    // EOFB: two EOLs.
    sink.put(kEol);
    sink.put(kEol);
    sink.flush();
    return out;
}

}  // namespace pagelift
