#pragma once

// The actions of a delivery rule for one converted fax: its mail, handed to
// the system's sendmail, and its hook, a program given the outputs. Each
// tells whether it is done, is to be tried again later, or failed for good.

#include "batch/single_file.h"
#include "output/delivery_rules.h"
#include "output/output_format.h"
#include "settings/conversion_options.h"

#include <chrono>
#include <set>
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

// Mails the fax as the rule says: to its addresses, its subject and body
// filled with the fax's facts, the outputs attached unless the rule says
// no or they weigh more than its maxattach (the body then says so and
// where they are). Runs `sendmail -i -f FROM -- ADDRESSES` with the message
// on its standard input: the recipients are never read from the headers.
DeliveryOutcome mailFax(const DeliveryRule& rule, const ConvertedFax& fax, const MailSettings& settings);

// What delivering a fax came to: its report lines, and whether every
// action of its rule is done (now or by an earlier run).
struct FaxDeliveryReport {
    bool complete = true;
    bool deferred = false;  // an action is to be tried again later
    std::string lines;
};

// Delivers a fax whose outputs are written: the actions of the rule that
// applies (mail, then hook; no rule applies: nothing to do), each unless the
// record says this source (path, size and time) had it already. Each action
// is recorded at once: done, or pending when deferred or failed.
FaxDeliveryReport deliverConvertedFax(const RunDelivery& delivery, const ConvertedFax& fax);

// Removes from the record the actions of sources that can never be met
// again (replaced, or removed from a folder still there), unless another
// process is delivering them, so that the record of a server that runs for
// years holds its present faxes only. Returns how many it removed. With
// `pending`, also gives from the same reading the sources (as sourceIdentity
// names them) of the actions kept that are still to be delivered: a run
// delivers these from their outputs. Once per run.
size_t forgetDeliveriesOfGoneSources(const RunDelivery& delivery, std::set<std::string>* pending = nullptr);

// Delivers a fax its run converted, when the run delivers and the
// conversion wrote outputs (otherwise nothing happens): the conversion's
// report gains the delivery's lines, deliveryDeferred says whether an action
// is to be tried again, and the fax stays out of the backup folder unless
// every action is done.
void deliverFileConversion(const ConversionOptions& options, const std::string& source, FileConversion& conversion);

// Reads the run's delivery from its options into options.delivery: the
// rules file's rules, then the command line's rule, the mail's settings and
// the hook's time, the record of deliveries done in `recordPath`. Returns
// why it cannot be (the rules file's mistake, naming file, line and key);
// "" when it can or nothing is to be delivered.
std::string prepareDelivery(ConversionOptions& options, const std::string& recordPath);

// Runs the rule's hook: the program itself, no shell, the outputs as its
// arguments and the facts in its environment (FAX_SENDER, FAX_CALLER,
// FAX_CALLERNAME, FAX_CALLED, FAX_SUBADDRESS, FAX_PAGES, FAX_RECEIVED in ISO
// 8601, FAX_SOURCE, FAX_SOURCE_PATH, FAX_MACHINE), its process group killed
// after `limit`.
DeliveryOutcome runFaxHook(const DeliveryRule& rule, const ConvertedFax& fax, std::chrono::milliseconds limit);

}  // namespace pagelift
