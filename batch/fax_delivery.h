#pragma once

// The actions of a delivery rule for one converted fax: its mail, handed to
// the system's sendmail, and its hook, a program given the outputs. Each
// tells whether it is done, is to be tried again later, or failed for good.

#include "output/delivery_rules.h"
#include "output/output_format.h"

#include <chrono>
#include <string>
#include <vector>

namespace pagelift {

enum class DeliveryEnd {
    Done,      // the program took it (exit status 0)
    Deferred,  // to be tried again: exit status 75, no answer in time, or the program could not be started
    Failed,    // any other exit status, or a signal: trying again would fail again
};

struct DeliveryOutcome {
    DeliveryEnd end = DeliveryEnd::Failed;
    std::string words;  // why, when not done: the program's standard error, or what became of it
};

// A fax converted, as its actions see it.
struct ConvertedFax {
    FaxFacts facts;
    std::string sourcePath;
    int64_t fileSeconds = 0;            // the source's modification time, for a received time it does not state
    std::vector<std::string> outputs;   // the files written, in page order
    const OutputFormat* format = nullptr;
};

struct MailSettings {
    std::string sendmail = "/usr/sbin/sendmail";  // a path, or a name looked up in PATH
    std::string from;                             // the sender's address; empty: pagelift@ this host's name
    std::chrono::milliseconds limit{60000};
};

// Mails the fax as the rule says: to its addresses, its subject and body
// filled with the fax's facts, the outputs attached unless the rule says
// no or they weigh more than its maxattach (the body then says so and
// where they are). Runs `sendmail -i -f FROM -- ADDRESSES` with the message
// on its standard input: the recipients are never read from the headers.
DeliveryOutcome mailFax(const DeliveryRule& rule, const ConvertedFax& fax, const MailSettings& settings);

// Runs the rule's hook: the program itself, no shell, the outputs as its
// arguments and the facts in its environment (FAX_SENDER, FAX_CALLER,
// FAX_CALLERNAME, FAX_CALLED, FAX_SUBADDRESS, FAX_PAGES, FAX_RECEIVED in ISO
// 8601, FAX_SOURCE, FAX_SOURCE_PATH, FAX_MACHINE), its process group killed
// after `limit`.
DeliveryOutcome runFaxHook(const DeliveryRule& rule, const ConvertedFax& fax, std::chrono::milliseconds limit);

}  // namespace pagelift
