#include "batch/fax_delivery.h"

#include "batch/fax_facts_reading.h"
#include "batch/run_record.h"
#include "output/fax_mail.h"
#include "output/name_template.h"
#include "platform/child_process.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace pagelift {
namespace {

constexpr int kTryAgainLater = 75;  // EX_TEMPFAIL of sysexits.h, as sendmail and hooks use it

// An action's state in the record: done, to be tried again, or being
// delivered by the process whose number follows.
const std::string kDone = "done";
const std::string kPending = "pending";
const std::string kClaim = "delivering by process ";

// True for a claim of a process other than this one that still runs.
bool claimedByOtherProcess(const std::string& value)
{
    if (!value.starts_with(kClaim)) return false;
    const std::string number = value.substr(kClaim.size());
    if (number.empty() || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const pid_t process = static_cast<pid_t>(std::stol(number));
    return process > 0 && process != ::getpid() && (::kill(process, 0) == 0 || errno == EPERM);
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

std::string filled(const std::string& text, const ConvertedFax& fax)
{
    std::string why;
    const std::optional<NameTemplate> parsed = NameTemplate::parse(text, why);
    return parsed ? parsed->fill(fax.facts, fax.fileSeconds) : text;
}

// The outcome of a program that ended so; `what` names it in the words.
DeliveryOutcome outcomeOf(const ChildOutcome& child, const std::string& what, std::chrono::milliseconds limit)
{
    std::string errors = child.errors;
    while (!errors.empty() && (errors.back() == '\n' || errors.back() == '\r')) errors.pop_back();
    switch (child.end) {
    case ChildEnd::Exited:
        if (child.exitCode == 0) return {DeliveryEnd::Done, {}};
        return {child.exitCode == kTryAgainLater ? DeliveryEnd::Deferred : DeliveryEnd::Failed,
                what + " exited with status " + std::to_string(child.exitCode) + (errors.empty() ? "" : ": " + errors)};
    case ChildEnd::TimedOut:
        return {DeliveryEnd::Deferred, what + " gave no answer within " + std::to_string(limit.count() / 1000) + " s"};
    case ChildEnd::Signalled: {
        // Ended from outside (the service stopping, the system shutting
        // down): nothing was refused, so it is tried again. A crash fails.
        const bool stopped = child.signal == SIGTERM || child.signal == SIGKILL || child.signal == SIGINT ||
                             child.signal == SIGHUP;
        return {stopped ? DeliveryEnd::Deferred : DeliveryEnd::Failed,
                what + " was ended by signal " + std::to_string(child.signal) + (errors.empty() ? "" : ": " + errors)};
    }
    case ChildEnd::NotStarted:
        break;
    }
    return {DeliveryEnd::Deferred, what + " could not be started"};
}

std::string messageId()
{
    static std::atomic<unsigned> counter{0};
    char text[128];
    std::snprintf(text, sizeof text, "<%lld.%ld.%u@", static_cast<long long>(std::time(nullptr)), long(::getpid()),
                  counter++);
    return text + hostName() + ">";
}

// What the mail says of the fax when its rule gives no body.
std::string plainAccount(const ConvertedFax& fax)
{
    return filled("A fax from {sender} ({caller}), {pages} pages, received {received}.", fax);
}

std::string isoReceived(const ConvertedFax& fax)
{
    if (fax.facts.received) {
        const FaxDateTime& time = *fax.facts.received;
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                      time.minute, time.second);
        return text;
    }
    const std::time_t seconds = static_cast<std::time_t>(fax.fileSeconds);
    std::tm local{};
    char text[40] = {};
    if (localtime_r(&seconds, &local) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

}  // namespace

DeliveryOutcome mailFax(const DeliveryRule& rule, const ConvertedFax& fax, const MailSettings& settings)
{
    if (rule.mailTo.empty()) return {DeliveryEnd::Done, {}};
    const std::string program = findProgram(settings.sendmail);
    FaxMail mail;
    mail.from = settings.from.empty() ? "pagelift@" + hostName() : settings.from;
    mail.to = rule.mailTo;
    mail.subject = filled(rule.subject, fax);
    mail.body = rule.body.empty() ? plainAccount(fax) : filled(rule.body, fax);
    mail.date = mailDate(std::time(nullptr));
    mail.messageId = messageId();
    int64_t bytes = 0;
    for (const std::string& output : fax.outputs) bytes += std::max<int64_t>(readableFileSize(output), 0);
    const bool tooLarge = rule.maxAttachMegabytes && double(bytes) > *rule.maxAttachMegabytes * 1024 * 1024;
    if (rule.attach && tooLarge) {
        char size[64];
        std::snprintf(size, sizeof size, "%.1f MB", double(bytes) / (1024 * 1024));
        mail.body += "\n\nThe fax's files (" + std::string(size) + ") are larger than this mail may carry; they are in " +
                     (fax.outputs.empty() ? std::string("the destination") : folderOfPath(fax.outputs.front())) + ".";
    } else if (rule.attach) {
        for (const std::string& output : fax.outputs) {
            mail.attachments.push_back({output, nameOfPath(output), fax.format != nullptr ? fax.format->mimeType : ""});
        }
    }
    std::string why;
    const std::optional<std::string> message = faxMailMessage(mail, why);
    if (!message) return {DeliveryEnd::Deferred, "the mail could not be made: " + why};
    if (program.empty()) return {DeliveryEnd::Deferred, settings.sendmail + " could not be started (not found)"};
    std::vector<std::string> arguments = {"-i", "-f", mail.from, "--"};
    arguments.insert(arguments.end(), rule.mailTo.begin(), rule.mailTo.end());
    const ChildOutcome sent = runChildProcess(program, arguments, settings.limit, ChildIo{*message, {}, true});
    return outcomeOf(sent, settings.sendmail, settings.limit);
}

DeliveryOutcome runFaxHook(const DeliveryRule& rule, const ConvertedFax& fax, std::chrono::milliseconds limit)
{
    if (rule.hook.empty()) return {DeliveryEnd::Done, {}};
    const std::string program = findProgram(rule.hook);
    if (program.empty()) return {DeliveryEnd::Deferred, rule.hook + " could not be started (not found)"};
    const FaxFacts& facts = fax.facts;
    ChildIo io;
    io.keepErrors = true;
    io.environment = {"FAX_SENDER=" + facts.sender,
                      "FAX_CALLER=" + facts.caller,
                      "FAX_CALLERNAME=" + facts.callerName,
                      "FAX_CALLED=" + facts.called,
                      "FAX_SUBADDRESS=" + facts.subAddress,
                      "FAX_PAGES=" + (facts.pages ? std::to_string(*facts.pages) : std::string()),
                      "FAX_RECEIVED=" + isoReceived(fax),
                      "FAX_SOURCE=" + facts.source,
                      "FAX_SOURCE_PATH=" + fax.sourcePath,
                      "FAX_MACHINE=" + facts.machine};
    return outcomeOf(runChildProcess(program, fax.outputs, limit, io), rule.hook, limit);
}

FaxDeliveryReport deliverConvertedFax(const RunDelivery& delivery, const ConvertedFax& fax)
{
    FaxDeliveryReport report;
    const DeliveryRule* rule = deliveryRuleFor(delivery.rules, fax.facts);
    if (rule == nullptr) return report;
    const std::string source = sourceIdentity(fax.sourcePath);
    struct Action {
        const char* kind;
        bool wanted;
        std::string what;  // in report lines
    };
    std::string recipients;
    for (const std::string& address : rule->mailTo) recipients += (recipients.empty() ? "" : ", ") + address;
    const Action actions[] = {{"mail", !rule->mailTo.empty(), "mail to " + recipients},
                              {"hook", !rule->hook.empty(), "hook " + rule->hook}};
    const std::string ownClaim = kClaim + std::to_string(::getpid());
    for (const Action& action : actions) {
        if (!action.wanted) continue;
        const std::string key = std::string(action.kind) + " " + source;
        // Claimed in the record before it is done, so that another process
        // delivering the same fax at the same time (a manual run beside the
        // watcher) leaves it to this one.
        // Whether this process claimed it is decided once, under the lock:
        // the other process may end meanwhile.
        bool claimed = false;
        const std::string before = RunRecord::exchange(delivery.recordPath, key, [&](const std::string& value) {
            claimed = value != kDone && !claimedByOtherProcess(value);
            return claimed ? ownClaim : value;
        });
        if (before == kDone) continue;
        const DeliveryOutcome outcome =
            !claimed ? DeliveryOutcome{DeliveryEnd::Deferred, "process " + before.substr(kClaim.size()) + " is delivering it"}
            : std::string(action.kind) == "mail" ? mailFax(*rule, fax, delivery.mail)
                                                 : runFaxHook(*rule, fax, delivery.hookLimit);
        if (claimed) {
            // A record that cannot be kept costs at most one delivery more.
            RunRecord::exchange(delivery.recordPath, key, [&](const std::string&) {
                return outcome.end == DeliveryEnd::Done ? kDone : kPending;
            });
        }
        if (outcome.end == DeliveryEnd::Done) {
            report.lines += "Delivered : " + action.what + "\r\n";
            continue;
        }
        report.complete = false;
        report.deferred = report.deferred || outcome.end == DeliveryEnd::Deferred;
        // A program's words on one line of the report.
        std::string words = outcome.words;
        for (char& c : words) c = static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        report.lines += std::string(outcome.end == DeliveryEnd::Deferred ? "Delivery deferred : " : "Delivery failed : ") +
                        action.what + " (" + words + ")\r\n";
    }
    return report;
}

size_t forgetDeliveriesOfGoneSources(const RunDelivery& delivery, std::set<std::string>* pending)
{
    return RunRecord::removeWhere(delivery.recordPath, [&](const std::string& key, const std::string& value) {
        const size_t kind = key.find(' ');
        if (kind == std::string::npos) return false;
        const bool claimedElsewhere = claimedByOtherProcess(value);
        const std::string source = key.substr(kind + 1);
        if (!claimedElsewhere && sourceIdentityIsStale(source)) return true;
        // A claim whose process is gone ended before it was recorded: it
        // may not have been delivered.
        if (pending != nullptr && (value == kPending || (value.starts_with(kClaim) && !claimedElsewhere))) {
            pending->insert(source);
        }
        return false;
    });
}

void deliverFileConversion(const ConversionOptions& options, const std::string& source, FileConversion& conversion)
{
    if (options.delivery == nullptr || conversion.written.empty()) return;
    ConvertedFax fax;
    fax.facts = readFaxFacts(source);
    setGivenFaxFacts(fax.facts, options.givenFacts);
    fax.sourcePath = source;
    const std::optional<FileStamp> stamp = fileStamp(source);
    fax.fileSeconds = stamp ? stamp->modifiedNs / 1000000000 : 0;
    fax.outputs = conversion.written;
    fax.format = options.outputFormat;
    const FaxDeliveryReport delivery = deliverConvertedFax(*options.delivery, fax);
    conversion.report += delivery.lines;
    conversion.deliveryDeferred = delivery.deferred;
    // A fax not delivered keeps its place in the source folder, to be
    // delivered by a later run.
    if (!delivery.complete) conversion.toBackupFolder = false;
}

std::string prepareDelivery(ConversionOptions& options, const std::string& recordPath)
{
    options.delivery.reset();
    if (options.rulesFile.empty() && !options.commandLineRule) return {};
    auto delivery = std::make_shared<RunDelivery>();
    if (!options.rulesFile.empty()) {
        std::string why;
        std::optional<DeliveryRules> rules = readDeliveryRules(options.rulesFile, why);
        if (!rules) return why;
        delivery->rules = std::move(*rules);
    }
    if (options.commandLineRule) delivery->rules.rules.push_back(*options.commandLineRule);
    delivery->mail.sendmail = options.sendmail;
    delivery->mail.from = options.mailFrom;
    delivery->mail.limit = std::chrono::seconds(options.hookSeconds);
    delivery->hookLimit = std::chrono::seconds(options.hookSeconds);
    delivery->recordPath = recordPath;
    options.delivery = std::move(delivery);
    return {};
}

}  // namespace pagelift
