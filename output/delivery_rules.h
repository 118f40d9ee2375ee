#pragma once

// Where a received fax goes once it is converted: rules on its facts, each
// naming its recipients' mail, its subject and body, whether the outputs
// go with it, and a program to run. The first rule whose conditions all
// hold applies.

#include "output/fax_facts.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pagelift {

struct DeliveryRule {
    std::string name;  // the section's name; "command line" for the rule the options make
    int line = 0;      // of its section's head in the rules file; 0 for the command line's
    // Conditions: a fact's name (called, subaddress, sender, caller) and a
    // pattern its value must match ('*' and '?' wildcards, case ignored).
    std::vector<std::pair<std::string, std::string>> conditions;
    std::vector<std::string> mailTo;  // addresses; none: no mail
    std::string subject = "Fax from {sender} ({pages} pages)";  // a name template of the facts
    std::string body;                 // the same; empty: a plain account of the fax
    bool attach = true;               // the outputs go with the mail
    std::optional<double> maxAttachMegabytes;  // above it the mail goes without them and says so
    std::string nameTemplate;         // the outputs' names; empty: the run's
    std::string hook;                 // a program run with the outputs; empty: none
};

// The rules of a file, in its order.
struct DeliveryRules {
    std::vector<DeliveryRule> rules;
};

struct MailSettings {
    std::string sendmail = "/usr/sbin/sendmail";  // a path, or a name looked up in PATH
    std::string from;                             // the sender's address; empty: pagelift@ this host's name
    std::chrono::milliseconds limit{60000};
};

// How a run delivers the faxes it converts.
struct RunDelivery {
    DeliveryRules rules;                       // the file's, then the command line's
    MailSettings mail;
    std::chrono::milliseconds hookLimit{60000};
    std::string recordPath;                    // where the actions done are kept; empty: nowhere
};

// True for an address that may stand on sendmail's command line and in a
// header: not empty, no blank, control character or comma, and no leading
// '-' that would read as an option.
bool isPlainMailAddress(const std::string& address);

// Sets `key` of `rule` to `value` as a rules file would; "" when done, else
// what is wrong (an unknown key, a value of the wrong kind).
std::string setDeliveryRuleKey(DeliveryRule& rule, const std::string& key, const std::string& value);

// Reads a rules file: sections "[name]", lines "key = value" (blanks about
// both dropped), blank lines and lines starting with ';' or '#' skipped.
// Keys: called, subaddress, sender, caller (conditions); mailto (addresses
// separated by commas), subject, body, name (templates), attach (yes or
// no), maxattach (megabytes, above 0), hook (a program). On a mistake none:
// `why` names the file, the line and what is wrong there (a file that
// cannot be read, a key outside a section or unknown, a key given twice in
// a section, two sections of one name, a value of the wrong kind, a
// template that cannot be filled, an address with a blank or control
// character in it).
std::optional<DeliveryRules> readDeliveryRules(const std::string& path, std::string& why);

// The rule that applies to a fax of these facts: the first of `rules` whose
// conditions all hold (a rule without any holds for every fax); null when
// none does.
const DeliveryRule* deliveryRuleFor(const DeliveryRules& rules, const FaxFacts& facts);

}  // namespace pagelift
