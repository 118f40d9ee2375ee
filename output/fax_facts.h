#pragma once

// What a received fax says of itself (its sender, the numbers, when it
// came), as its container states it or the run is told, for the documents
// written from it and for names made of it.

#include "platform/fax_time.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pagelift {

// Texts as given, empty when not known; nothing in them is checked or
// cleaned: a stranger chose them.
struct FaxFacts {
    std::string sender;      // the sender's identification (TSI)
    std::string caller;      // the caller's number
    std::string callerName;  // the caller's name
    std::string called;      // the number that was called
    std::string subAddress;  // the sub-address the caller dialled
    std::string machine;     // the machine named with it: make and model
    std::string source;      // the fax file's name without its folder and last extension
    std::optional<FaxDateTime> received;  // as the container or the run states it; none when neither does
    std::optional<int> pages;             // the pages it holds, once known
};

// What a container states, as fax servers write it: the description's
// first line is the sender's identification, its second and third (when
// there) the caller's number and name (HylaFAX; spandsp writes the first
// alone); `dateTime` in either form parseFaxDateTime reads; make and model
// joined by a space. Blanks around each line are dropped.
FaxFacts faxFactsOfContainer(std::string_view description, std::string_view dateTime, std::string_view make,
                             std::string_view model, std::string_view subAddress);

// The fax file's name without its folder and its last extension.
std::string faxSourceName(std::string_view path);

// The names of the facts, as /meta= and name templates give them:
// sender, caller, callername, called, subaddress, received, pages, source,
// machine.
const std::vector<std::string_view>& faxFactNames();

// Sets the fact named `name` (any case) to `value`, taken as it is; for
// received a date and time in either form parseFaxDateTime reads, for pages
// a whole number from 1 to 100000. Returns "" when set, else why not (an
// unknown name, a value that is not of its kind), and changes nothing.
std::string setFaxFact(FaxFacts& facts, std::string_view name, const std::string& value);

// Facts given on the command line, NAME=VALUE each, in their order.
using GivenFaxFacts = std::vector<std::pair<std::string, std::string>>;

// Sets every given fact, later ones over earlier ones; facts that cannot be
// set are left as they were (the run refuses them before it starts).
void setGivenFaxFacts(FaxFacts& facts, const GivenFaxFacts& given);

}  // namespace pagelift
