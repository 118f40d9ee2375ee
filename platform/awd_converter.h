#pragma once

#include <chrono>
#include <string>

namespace pagelift {

// The environment variable that names the AWD converter program (a name
// looked up on PATH, or a path); without it the program is "awdvstub".
inline constexpr const char* kAwdConverterVariable = "PAGELIFT_AWD_CONVERTER";
inline constexpr const char* kDefaultAwdConverter = "awdvstub";

// The environment variable that sets how many seconds a conversion may take
// (a whole number above 0); without it, 300.
inline constexpr const char* kAwdTimeLimitVariable = "PAGELIFT_AWD_TIMEOUT";
inline constexpr std::chrono::seconds kDefaultAwdTimeLimit{300};

// The converter program as configured, before it is looked up.
std::string awdConverterName();

// How long one conversion may run.
std::chrono::seconds awdTimeLimit();

// Has the external converter turn the AWD document `source` into the TIFF
// file `target`: removes `target`, then runs the converter with exactly the
// arguments "/c", `source` and `target` (no shell, so blanks and quotes in
// the paths pass unchanged) and waits for it, at most awdTimeLimit().
// True when the converter ran and ended by itself, whatever its exit code:
// the caller then reads `target`, if the converter wrote one. False when
// `target` is empty or could not be removed, when the converter cannot be
// found or started, when a signal ended it, and when it ran out of time (its
// process group is then killed).
bool convertAwd(const std::string& source, const std::string& target);

}  // namespace pagelift
