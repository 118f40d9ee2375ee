#include "support/mh_encoder.h"

#include "ccitt/t4_code_tables.h"

#include <stdexcept>

namespace pagelift::testing {

void BitWriter::put(const std::string& bits)
{
    for (char bit : bits) {
        if (bit == '0' || bit == '1') bits_.push_back(uint8_t(bit - '0'));
    }
}

void BitWriter::padTo(size_t bytes)
{
    const size_t unit = bytes * 8;
    if (unit == 0) return;
    while (bits_.size() % unit != 0) bits_.push_back(0);
}

std::vector<uint8_t> BitWriter::bytes(bool lsbFirst) const
{
    std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i) {
        if (bits_[i] == 0) continue;
        const unsigned shift = lsbFirst ? unsigned(i % 8) : unsigned(7 - i % 8);
        out[i / 8] = uint8_t(out[i / 8] | (1u << shift));
    }
    return out;
}

std::vector<uint8_t> bytesFromBits(const std::string& bits, bool lsbFirst)
{
    BitWriter writer;
    writer.put(bits);
    return writer.bytes(lsbFirst);
}

namespace {

std::string codeFor(uint16_t run, int colour)
{
    const auto search = [run](const auto& table) -> const char* {
        for (const t4::RunCode& code : table) {
            if (code.run == run) return code.bits;
        }
        return nullptr;
    };
    const char* bits = colour == 0 ? search(t4::kWhiteCodes) : search(t4::kBlackCodes);
    if (bits == nullptr) bits = search(t4::kExtendedMakeUpCodes);
    if (bits == nullptr) throw std::logic_error("no code for run " + std::to_string(run));
    return bits;
}

}  // namespace

std::string runCodeBits(int32_t run, int colour)
{
    std::string bits;
    while (run >= 2560) {
        bits += codeFor(2560, colour);
        run -= 2560;
    }
    if (run >= 64) bits += codeFor(uint16_t(run / 64 * 64), colour);
    bits += codeFor(uint16_t(run % 64), colour);
    return bits;
}

std::vector<uint8_t> encodeMh(const Picture& picture, const MhLayout& layout)
{
    BitWriter writer;
    const std::string eol = "000000000001";
    const std::string word = "1010010111000011";  // any value: readers skip it unread
    if (layout.wordAfterRow) writer.put(word);
    for (int32_t y = 0; y < picture.height; ++y) {
        if (layout.eolBeforeEachRow) writer.put(eol);
        int colour = 0;
        int32_t x = 0;
        while (x < picture.width) {
            int32_t end = x;
            while (end < picture.width && picture.at(end, y) == colour) ++end;
            writer.put(runCodeBits(end - x, colour));
            x = end;
            colour ^= 1;
        }
        if (picture.width == 0) writer.put(runCodeBits(0, 0));
        writer.padTo(layout.rowAlignment);
        if (layout.wordAfterRow) {
            writer.padTo(1);
            writer.put(word);
        }
    }
    for (int i = 0; i < layout.trailingEols; ++i) writer.put(eol);
    return writer.bytes(layout.lsbFirst);
}

}  // namespace pagelift::testing
