#pragma once

// What a fax file says of itself, read before it is converted, for names
// made of its facts.

#include "output/fax_facts.h"

#include <string>

namespace pagelift {

// The facts a fax file states, read without decoding a page: for files whose
// pages are read in any order (TIFF) the first page's tags and the page
// count; for other containers with a header their page count; for raw
// streams and AWD documents nothing but their name. `source` is always the
// file's name without its folder and extension; a file that cannot be read
// gives only that.
FaxFacts readFaxFacts(const std::string& path);

}  // namespace pagelift
