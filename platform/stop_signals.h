#pragma once

// SIGTERM and SIGINT taken as a request to stop rather than as an end, for
// a program that runs until it is told to stop and must first finish the
// file in hand. The handler only records the request and makes a descriptor
// readable, so a wait for events wakes up at once.

namespace pagelift {

// From now on SIGTERM and SIGINT only request a stop (they replace the
// working folder's clean-up on those two signals, and a folder made later
// leaves them so; the folder is still removed when the program exits).
// False when the wake descriptor cannot be made.
bool takeStopSignalsAsRequests();

// True once SIGTERM or SIGINT came after takeStopSignalsAsRequests.
bool stopRequestedBySignal();

// Readable once a stop was requested; -1 before takeStopSignalsAsRequests.
int stopRequestDescriptor();

}  // namespace pagelift
