#include "imageout/glyphless_font.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace pagelift {
namespace {

// A table's bytes, written field by field in the sfnt's byte order
// (big-endian, as the format has it).
class SfntTable {
public:
    SfntTable& u8(uint8_t value)
    {
        bytes_.push_back(value);
        return *this;
    }
    SfntTable& u16(uint32_t value) { return u8(uint8_t(value >> 8)).u8(uint8_t(value)); }
    SfntTable& i16(int32_t value) { return u16(uint16_t(value)); }
    SfntTable& u32(uint32_t value) { return u16(value >> 16).u16(value & 0xFFFF); }
    SfntTable& tag(std::string_view four)
    {
        for (const char c : four) u8(uint8_t(c));
        return *this;
    }
    SfntTable& zeros(size_t count)
    {
        bytes_.insert(bytes_.end(), count, 0);
        return *this;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

constexpr uint16_t kGlyphCount = 2;
constexpr uint16_t kSpace = 0x20;

SfntTable headTable()
{
    SfntTable head;
    head.u32(0x00010000).u32(0x00010000);  // version, font revision 1.0
    head.u32(0);                           // checksum adjustment, set once the font is whole
    head.u32(0x5F0F3CF5);                  // magic number
    // Baseline at y = 0, left side bearing at x = 0, integer scaling.
    head.u16(0x000B).u16(kGlyphlessUnitsPerEm);
    // Created and modified: 2026-01-01, in seconds since 1904.
    constexpr uint32_t kMade = 3850070400u;
    head.u32(0).u32(kMade).u32(0).u32(kMade);
    head.i16(0).i16(0).i16(0).i16(0);      // the glyphs' bounding box: they have no outline
    head.u16(0).u16(8).i16(2);             // style, smallest readable size, direction hint
    head.i16(0).i16(0);                    // short loca offsets, glyph data format 0
    return head;
}

SfntTable hheaTable()
{
    SfntTable hhea;
    hhea.u32(0x00010000).i16(kGlyphlessAscent).i16(kGlyphlessDescent).i16(0);
    hhea.u16(kGlyphlessAdvance).i16(0).i16(0).i16(0);  // widest advance, bearings, extent
    hhea.i16(1).i16(0).i16(0);                          // caret upright
    hhea.zeros(8).i16(0).u16(kGlyphCount);             // reserved, metric format, metrics
    return hhea;
}

SfntTable maxpTable()
{
    SfntTable maxp;
    maxp.u32(0x00010000).u16(kGlyphCount);
    // No points, contours, components, instructions or storage; zones 2.
    maxp.u16(0).u16(0).u16(0).u16(0).u16(2);
    maxp.zeros(16);
    return maxp;
}

SfntTable hmtxTable()
{
    SfntTable hmtx;
    for (uint16_t glyph = 0; glyph < kGlyphCount; ++glyph) hmtx.u16(kGlyphlessAdvance).i16(0);
    return hmtx;
}

// Glyph 0 is a simple glyph of no contour; glyph 1 has no data at all, as
// a space's glyph. The first keeps the glyph table from being empty, which
// some readers take for missing.
constexpr uint16_t kEmptyGlyphBytes = 12;

SfntTable glyfTable()
{
    SfntTable glyf;
    glyf.i16(0).i16(0).i16(0).i16(0).i16(0);  // no contours; the box
    glyf.u16(0);                              // no instructions
    return glyf;
}

SfntTable locaTable()
{
    SfntTable loca;
    // Short offsets count two bytes.
    loca.u16(0).u16(kEmptyGlyphBytes / 2).u16(kEmptyGlyphBytes / 2);
    return loca;
}

// One format 4 subtable for Unicode (Windows platform): the space to the
// empty glyph, and the closing segment every format 4 map ends with.
SfntTable cmapTable()
{
    SfntTable cmap;
    cmap.u16(0).u16(1);                  // version, one subtable
    cmap.u16(3).u16(1).u32(12);          // Windows, Unicode BMP, at 12
    constexpr uint16_t segments = 2;
    cmap.u16(4).u16(16 + 8 * segments).u16(0);
    cmap.u16(2 * segments).u16(4).u16(1).u16(0);  // search range, entry selector, range shift
    cmap.u16(kSpace).u16(0xFFFF);                 // ends
    cmap.u16(0);                                  // reserved
    cmap.u16(kSpace).u16(0xFFFF);                 // starts
    cmap.u16(uint16_t(kGlyphlessGlyph - kSpace)).u16(1);  // deltas: the space to 1, 0xFFFF to 0
    cmap.u16(0).u16(0);                                   // no range offsets
    return cmap;
}

SfntTable nameTable()
{
    const std::string family = kGlyphlessFontName;
    const std::array<std::pair<uint16_t, std::string>, 6> names = {{
        {1, family},
        {2, "Regular"},
        {3, "Zoziv Pagelift: " + family},
        {4, family},
        {5, "Version 1.0"},
        {6, family},
    }};
    SfntTable name;
    name.u16(0).u16(uint16_t(names.size())).u16(uint16_t(6 + 12 * names.size()));
    uint16_t offset = 0;
    for (const auto& [id, text] : names) {
        // Windows, Unicode BMP, English (United States); UTF-16BE.
        name.u16(3).u16(1).u16(0x409).u16(id).u16(uint16_t(2 * text.size())).u16(offset);
        offset = uint16_t(offset + 2 * text.size());
    }
    for (const auto& entry : names) {
        for (const char c : entry.second) name.u16(uint8_t(c));
    }
    return name;
}

SfntTable postTable()
{
    SfntTable post;
    post.u32(0x00030000).u32(0);  // version 3: no glyph names; upright
    post.i16(-100).i16(50);       // underline position and thickness
    post.u32(1);                  // fixed pitch
    post.zeros(16);               // memory needs: not stated
    return post;
}

SfntTable os2Table()
{
    SfntTable os2;
    os2.u16(4).i16(kGlyphlessAdvance).u16(400).u16(5);  // version, average width, weight, width
    os2.u16(0);                                         // embedding: installable, no restriction
    os2.i16(650).i16(600).i16(0).i16(75);               // subscript size and offset
    os2.i16(650).i16(600).i16(0).i16(350);              // superscript size and offset
    os2.i16(50).i16(300).i16(0);                        // strikeout size and position, family class
    os2.zeros(10);                                      // PANOSE: any
    os2.u32(1).u32(0).u32(0).u32(0);                    // Unicode ranges: Basic Latin
    os2.tag("ZOZV");
    os2.u16(0x0040).u16(kSpace).u16(kSpace);  // regular; first and last character
    os2.i16(kGlyphlessAscent).i16(kGlyphlessDescent).i16(0);
    os2.u16(kGlyphlessAscent).u16(uint16_t(-kGlyphlessDescent));
    os2.u32(1).u32(0);                         // code pages: Latin 1
    os2.i16(500).i16(kGlyphlessAscent).u16(0).u16(kSpace).u16(0);  // x height, cap height, default, break, context
    return os2;
}

// The sum of a table's bytes as big-endian 32-bit words, the last padded
// with zeros.
uint32_t sfntChecksum(const std::vector<uint8_t>& bytes, size_t begin, size_t end)
{
    uint32_t sum = 0;
    for (size_t at = begin; at < end; at += 4) {
        uint32_t word = 0;
        for (size_t index = 0; index < 4; ++index) word = (word << 8) | (at + index < end ? bytes[at + index] : 0);
        sum += word;
    }
    return sum;
}

std::vector<uint8_t> assembledFont()
{
    // In the order of their tags, as the table directory must list them.
    const std::array<std::pair<std::string_view, SfntTable>, 10> tables = {{
        {"OS/2", os2Table()},
        {"cmap", cmapTable()},
        {"glyf", glyfTable()},
        {"head", headTable()},
        {"hhea", hheaTable()},
        {"hmtx", hmtxTable()},
        {"loca", locaTable()},
        {"maxp", maxpTable()},
        {"name", nameTable()},
        {"post", postTable()},
    }};
    const uint16_t count = uint16_t(tables.size());
    uint16_t power = 1;
    uint16_t selector = 0;
    while (power * 2 <= count) {
        power = uint16_t(power * 2);
        ++selector;
    }
    SfntTable font;
    font.u32(0x00010000).u16(count).u16(uint16_t(power * 16)).u16(selector).u16(uint16_t(count * 16 - power * 16));
    size_t offset = 12 + 16 * size_t(count);
    size_t headOffset = 0;
    for (const auto& [tag, table] : tables) {
        const std::vector<uint8_t>& bytes = table.bytes();
        font.tag(tag).u32(sfntChecksum(bytes, 0, bytes.size())).u32(uint32_t(offset)).u32(uint32_t(bytes.size()));
        if (tag == "head") headOffset = offset;
        offset += (bytes.size() + 3) & ~size_t(3);
    }
    for (const auto& entry : tables) {
        const std::vector<uint8_t>& bytes = entry.second.bytes();
        font.bytes().insert(font.bytes().end(), bytes.begin(), bytes.end());
        font.zeros((4 - bytes.size() % 4) % 4);
    }
    // The adjustment makes the whole font's sum the format's constant.
    std::vector<uint8_t>& whole = font.bytes();
    const uint32_t adjustment = 0xB1B0AFBAu - sfntChecksum(whole, 0, whole.size());
    for (size_t index = 0; index < 4; ++index) whole[headOffset + 8 + index] = uint8_t(adjustment >> (24 - 8 * index));
    return whole;
}

}  // namespace

const std::vector<uint8_t>& glyphlessTrueTypeFont()
{
    static const std::vector<uint8_t> font = assembledFont();
    return font;
}

}  // namespace pagelift
