#pragma once

// Finding the text of a fax page (OCR), and whether the page stands upright.
// Pages are read from memory with square pixels; what comes back is placed
// on the page as the outputs write it.

#include "raster/page_bitmap.h"
#include "raster/page_words.h"

#include <string>

namespace pagelift {

// True when this build can recognise text.
bool ocrBuiltIn();

// The languages recognised when none are named.
inline constexpr const char* kDefaultOcrLanguages = "eng";

// What stops `languages` ("eng", "eng+deu") from being recognised, as the
// message for the user, naming the package to install for a language whose
// data are missing; empty when every one can be read. Loads the languages
// and keeps them, so that the first page need not.
std::string ocrLanguagesProblem(const std::string& languages);

// How recognising a page went.
struct PageRecognition {
    bool recognised = false;  // false: recognition failed, and text is empty
    int turnedDegrees = 0;    // the page must be turned this far clockwise (0, 90, 180 or 270)
    PageBitmap turned;        // the page turned so, when turnedDegrees is not 0
    PageText text;            // placed on the page as it is after the turn
};

// The page's text in `languages`. The page's orientation is detected
// first: a page found on its side or upside down with confidence is turned
// (its pixels, and for a quarter turn its size and resolutions) into
// `turned` before it is read. It is read in bands cut on white rows, up to `threads`
// of them side by side; the text does not depend on `threads`. Any
// failure inside comes back as not recognised, with no turn.
PageRecognition recognisePage(const PageBitmap& page, const std::string& languages, int threads);

}  // namespace pagelift
