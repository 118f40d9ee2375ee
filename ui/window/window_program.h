#pragma once

#include "settings/decode_settings.h"

#include <cstdint>

namespace pagelift::window {

// Runs the window until it ends (the process is prepared and the command
// line parsed already); returns the window's exit code. SIGTERM, SIGINT and
// SIGHUP, and the end of the desktop session, end it the same way (the
// settings are stored; a signal's exit code is 128 + its number). Its runs
// convert `jobs` files at a time (0: one per core).
int runWindowProgram(int argc, char** argv, int32_t jobs = 1, const DecodeSettings& decode = {});

}  // namespace pagelift::window
