#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace pagelift {

// The absolute path of the program that `name` stands for, or "" when there
// is none. A name holding a '/' is a path of its own (a relative one is taken
// from the current folder). Any other name is looked up in the folders of
// PATH, in order; empty and relative entries are skipped, so the current
// folder (often the output folder of a run) never supplies a program. Only
// regular files this process may execute count.
std::string findProgram(const std::string& name);

// How a child process ended.
enum class ChildEnd {
    NotStarted,  // it could not be started (or its wait failed)
    Exited,      // it ended on its own; exitCode holds its status
    Signalled,   // a signal ended it
    TimedOut,    // it outlived its time and its process group was killed
};

struct ChildOutcome {
    ChildEnd end = ChildEnd::NotStarted;
    int exitCode = -1;   // only for Exited
    int signal = 0;      // only for Signalled: the signal that ended it
    std::string errors;  // what it wrote to standard error, when asked for (at most kChildErrorsKept bytes)
};

// The most of a child's standard error that is kept; the rest is read and
// dropped, so that the child never waits on a full pipe.
constexpr size_t kChildErrorsKept = 64 * 1024;

// What a child is given besides its arguments, and what is taken from it.
struct ChildIo {
    std::string input;                     // its standard input, then end of file
    std::vector<std::string> environment;  // "NAME=VALUE" added to this process's, over a variable of that name
    bool keepErrors = false;               // its standard error goes into ChildOutcome::errors, not this process's
};

// Runs `program` (an absolute path) with `arguments` as its argv[1...],
// each passed as it is, without a shell. The child gets this process's
// environment and current folder, /dev/null as standard input, the standard
// output and error streams, and no other open file. It runs in a process
// group of its own; when it has not ended within `limit`, that whole group is
// killed and the outcome is TimedOut. Blocks until the child has ended and
// been reaped.
ChildOutcome runChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                             std::chrono::milliseconds limit);

// As above, with `io`: the child reads io.input on its standard input (a
// child that stops reading early is no failure of this process), finds
// io.environment in its environment, and with keepErrors its standard
// error is kept in the outcome. The limit counts the whole exchange.
ChildOutcome runChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                             std::chrono::milliseconds limit, const ChildIo& io);

}  // namespace pagelift
