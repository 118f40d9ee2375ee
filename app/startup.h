#pragma once

#include "settings/conversion_options.h"
#include "settings/decode_settings.h"

#include <string>

namespace pagelift {

// Prepares the process: removes the working folders of copies that were
// killed, names the working files (in the private working folder, which
// only a run that needs a working file makes), the default results log and
// the start values of the decoding settings.
void prepareProcess();

// The default results log: the program folder's "log/plflog.txt" when a
// writable "log" folder already stands there (a portable copy), else
// $XDG_STATE_HOME/pagelift/log/plflog.txt (~/.local/state when the variable
// is unset or empty), for every user, root included.
std::string defaultResultsLog(const std::string& programFolder);

// Where runs keep what they must remember between them (the names given
// by template, the deliveries done): the service's state folder
// ($STATE_DIRECTORY, as systemd sets it, the first when it names several),
// else $XDG_STATE_HOME/pagelift (~/.local/state when unset or empty).
std::string runStateFolder();

// Runs the conversion a parsed command line selected, appends its report to
// the results log and, unless quiet, shows it. Returns 0: outcomes are told
// by the report and the log, not by the exit code. With /watch it watches
// the folder until stopped and returns what watchFolder returns.
int runCommandLineConversion(ConversionOptions& options, const DecodeSettings& decode);

}  // namespace pagelift
