#pragma once

// A TrueType font whose glyphs draw nothing, for text that is never shown
// but must be found, selected and copied: the words recognised on a page,
// laid over its image.

#include <cstdint>
#include <vector>

namespace pagelift {

// The font's design units per em, and the advance of each of its glyphs in
// those units: every glyph is equally wide, so a run of n characters is
// n * kGlyphlessAdvance / kGlyphlessUnitsPerEm of the font size before
// any horizontal scaling.
constexpr int kGlyphlessUnitsPerEm = 1000;
constexpr int kGlyphlessAdvance = 500;
// The font's ascent and descent (negative, below the baseline) in the same
// units; text placed by this font covers [descent, ascent] of its size
// about its baseline.
constexpr int kGlyphlessAscent = 750;
constexpr int kGlyphlessDescent = -250;

// The font's glyph that every character code maps to: glyph 0 (.notdef)
// and glyph 1 are both empty and equally wide.
constexpr uint16_t kGlyphlessGlyph = 1;

// The font's PostScript name.
constexpr const char* kGlyphlessFontName = "GlyphLessFont";

// The whole font file: an sfnt of version 1.0 with the tables head, hhea,
// maxp, hmtx, loca, glyf (empty), cmap (the space to glyph 1), name, post
// and OS/2, each with its checksum and the head's checksum adjustment set.
// The same bytes on every call.
const std::vector<uint8_t>& glyphlessTrueTypeFont();

}  // namespace pagelift
