#pragma once

#include <string>

namespace pagelift {

// A folder field's text with a leading "~" read the way a shell reads it:
// "~" and "~/..." name the home folder ($HOME, else the account's home),
// "~name" and "~name/..." that account's home. Any other text, and a "~"
// whose home cannot be found, is returned unchanged.
std::string expandHomeFolder(const std::string& text);

// The folder a folder dialog starts in for a field's text: the folder the
// text names (after expandHomeFolder), or its nearest existing parent. A
// relative text is taken from the current folder. Empty when the text is
// empty or neither it nor any parent named in it exists (the dialog's own
// choice then).
std::string nearestExistingFolder(const std::string& text);

}  // namespace pagelift
