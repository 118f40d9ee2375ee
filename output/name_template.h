#pragma once

// Names made of a fax's facts: a template such as
// "fax-{received:%Y%m%d-%H%M%S}-{caller}" and the file name it gives.

#include "output/fax_facts.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagelift {

// A template checked once, then filled for each fax. Its fields are the
// names of faxFactNames() in braces; {received:FORMAT} formats the time
// with strftime's conversions, {received} alone as "%Y-%m-%d %H:%M". "{{"
// and "}}" stand for braces.
class NameTemplate {
public:
    // The template of `text`; none when a field is unknown, a brace is not
    // closed, or a '}' stands alone, with `why` saying which.
    static std::optional<NameTemplate> parse(std::string_view text, std::string& why);

    // The text with each field replaced by its fact; a fact that is not
    // known gives "unknown". A received time that no file states or the run
    // was given is the fax file's time (`fileSeconds`, local time).
    std::string fill(const FaxFacts& facts, int64_t fileSeconds) const;

private:
    struct Piece {
        std::string text;    // literal text, or the field's name
        std::string format;  // of a received field
        bool field = false;
    };
    std::vector<Piece> pieces_;
};

// A text made fit to be a file's name in any folder: every byte other than
// ASCII letters, digits, '+', '.', '_' and '-' becomes '-'; a leading '.'
// becomes '-' (no hidden file, no "." or ".."); cut to at most `limit`
// bytes; "unknown" when nothing is left.
std::string safeFileName(std::string_view text, size_t limit);

}  // namespace pagelift
