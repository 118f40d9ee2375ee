#pragma once

namespace pagelift::window {

// Runs the window until it ends (the process is prepared and the command
// line parsed already); returns the window's exit code. SIGTERM, SIGINT and
// SIGHUP, and the end of the desktop session, end it the same way (the
// settings are stored; a signal's exit code is 128 + its number).
int runWindowProgram(int argc, char** argv);

}  // namespace pagelift::window
