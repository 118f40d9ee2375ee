#pragma once

// Where the tests find the fax files that other people's software wrote.
// The environment variable PAGELIFT_CORPUS names the folder at run time (a
// folder that does not exist runs the suite as a checkout standing alone
// would); without it, the folder the build was told of. Tests that need the
// corpus skip, saying so, when the folder is absent.

#include <cstdlib>
#include <string>

namespace pagelift::testing {

inline std::string corpusFolder()
{
    if (const char* chosen = std::getenv("PAGELIFT_CORPUS"); chosen != nullptr && *chosen != '\0') return chosen;
    return PAGELIFT_CORPUS_DIR;
}

}  // namespace pagelift::testing
