// A converted fax's actions against the real programs: mail handed to msmtp
// (a real sendmail) and carried to an SMTP server on 127.0.0.1 (aiosmtpd),
// read back with Python's email package; sendmail programs that fail on
// purpose; the hook with its arguments, environment, exit codes and limit.

#include "batch/fax_delivery.h"
#include "batch/run_record.h"
#include "support/blank_faxes.h"
#include "support/fax_fixtures.h"
#include "support/ocr_module.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

namespace pagelift {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ScratchFolder;
using testing::shellQuoted;

// An SMTP server on a free port of 127.0.0.1 that keeps what it receives in
// a maildir, for at most a minute, ended with the object.
const char* const kServer = R"(
import os, socket, sys, time
from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
box, port_file, stop_file = sys.argv[1:4]
probe = socket.socket()
probe.bind(('127.0.0.1', 0))
port = probe.getsockname()[1]
probe.close()
controller = Controller(Mailbox(box), hostname='127.0.0.1', port=port)
controller.start()
open(port_file + '.new', 'w').write(str(port))
os.rename(port_file + '.new', port_file)
deadline = time.time() + 60
while time.time() < deadline and not os.path.exists(stop_file):
    time.sleep(0.05)
controller.stop()
)";

// Prints each message of a maildir, in the order of their subjects: its
// envelope recipients, header names, decoded subject, and each attachment's
// name and whether it equals the file of that name in the folder given.
const char* const kReader = R"(
import mailbox, os, sys, email.policy
box, files = sys.argv[1:3]
maildir = mailbox.Maildir(box, factory=None, create=False)
messages = [email.message_from_bytes(maildir.get_bytes(key), policy=email.policy.default) for key in maildir.keys()]
for message in sorted(messages, key=lambda message: str(message['Subject'])):
    print('to', message['X-RcptTo'])
    print('headers', sorted(set(message.keys()) - {'X-Peer', 'X-MailFrom', 'X-RcptTo'}))
    print('subject', repr(str(message['Subject'])))
    for part in message.iter_parts():
        if part.get_content_maintype() == 'text':
            print('text', repr(part.get_content()))
        else:
            name = part.get_filename()
            print('file', repr(name), part.get_content_type(),
                  part.get_content() == open(os.path.join(files, name), 'rb').read())
)";

class SmtpServer {
public:
    explicit SmtpServer(const ScratchFolder& scratch) : scratch_(scratch)
    {
        testing::writeText(scratch.file("server.py"), kServer);
        testing::runShell("/usr/bin/python3 " + shellQuoted(scratch.file("server.py")) + " " +
                              shellQuoted(scratch.file("box")) + " " + shellQuoted(scratch.file("port")) + " " +
                              shellQuoted(scratch.file("stop")) + " > /dev/null 2>&1 &",
                          scratch.path().string());
        for (int wait = 0; wait < 200 && !fs::exists(scratch.file("port")); ++wait) std::this_thread::sleep_for(50ms);
        port_ = fs::exists(scratch.file("port")) ? testing::readText(scratch.file("port")) : "";
    }
    ~SmtpServer() { testing::writeText(scratch_.file("stop"), ""); }
    SmtpServer(const SmtpServer&) = delete;
    SmtpServer& operator=(const SmtpServer&) = delete;

    const std::string& port() const { return port_; }

private:
    const ScratchFolder& scratch_;
    std::string port_;
};

std::string whySkipped()
{
    const std::string missing = testing::missingTool({"/usr/bin/msmtp", "/usr/bin/python3"});
    if (!missing.empty()) return "needs " + missing + " (scripts/install-deps.sh --test)";
    if (!testing::runQuietly("/usr/bin/python3 -c 'import aiosmtpd'")) {
        return "needs python3-aiosmtpd (scripts/install-deps.sh --test)";
    }
    return {};
}

// A scratch folder with an SMTP server, msmtp as this process's children
// find it (~/.msmtprc, which must be the user's alone, HOME the scratch
// folder) sending to it, a state folder of its own, and in/ for faxes.
class MailedFaxes : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string reason = whySkipped();
        if (!reason.empty()) GTEST_SKIP() << reason;
        server_.emplace(scratch_);
        ASSERT_FALSE(server_->port().empty()) << "the SMTP server did not start";
        testing::writeText(scratch_.file(".msmtprc"),
                           "account default\nhost 127.0.0.1\nport " + server_->port() + "\nauth off\ntls off\n");
        ::chmod(scratch_.file(".msmtprc").c_str(), 0600);
        home_.emplace("HOME", scratch_.path().string());
        state_.emplace("XDG_STATE_HOME", scratch_.file("state"));
        fs::create_directories(scratch_ / "in");
    }

    // A fax in in/, its TSI (and caller) as given.
    void fax(const std::string& name, const std::string& description)
    {
        testing::writeBytes(scratch_.file("in/" + name),
                            testing::group4Tiff({{{8, 1}, {0x80, 0x10, 0x01}, "2026:12:01 09:15:00", description}}));
    }

    // The output of a Python program given the server's maildir.
    std::string readMail(const std::string& program)
    {
        return testing::runShell("/usr/bin/python3 -c " + shellQuoted("import mailbox, sys, email.policy\n"
                                                                      "box = mailbox.Maildir(sys.argv[1], factory=None, create=False)\n" +
                                                                      program) +
                                     " " + shellQuoted(scratch_.file("box")),
                                 scratch_.path().string())
            .out;
    }

    ScratchFolder scratch_;
    std::optional<SmtpServer> server_;
    std::optional<testing::ScopedEnvironment> home_;
    std::optional<testing::ScopedEnvironment> state_;
};

ConvertedFax faxOf(const ScratchFolder& scratch, const std::string& sender)
{
    fs::create_directories(scratch / "out");
    std::vector<uint8_t> pdf;
    for (int byte = 0; byte < 300000; ++byte) pdf.push_back(uint8_t(byte * 31 + byte / 251));
    testing::writeBytes(scratch.file("out/fax-ACME.pdf"), pdf);
    testing::writeBytes(scratch.file("out/M\xc3\xbcller.pdf"), {'%', 'P', 'D', 'F', '\n'});
    ConvertedFax fax;
    fax.facts.sender = sender;
    fax.facts.caller = "+49 30 5551";
    fax.facts.pages = 2;
    fax.facts.received = FaxDateTime{2026, 12, 1, 9, 15, 0};
    fax.sourcePath = scratch.file("in/fax.tif");
    fax.outputs = {scratch.file("out/fax-ACME.pdf"), scratch.file("out/M\xc3\xbcller.pdf")};
    fax.format = outputFormatNamed("pdf");
    return fax;
}

TEST_F(MailedFaxes, ReachTheRulesRecipientsThroughARealSendmailWithWhatTheRuleSays)
{
    const ScratchFolder& scratch = scratch_;
    const ConvertedFax fax = faxOf(scratch, "ACME\r\nBcc: all@example.com");

    DeliveryRule attached;
    attached.mailTo = {"sales@example.com", "boss@example.org"};
    DeliveryRule plain;
    plain.mailTo = {"office@example.com"};
    plain.attach = false;
    plain.subject = "Fax f\xc3\xbcr {called}";
    plain.body = "From {sender}";
    DeliveryRule tooLarge;
    tooLarge.mailTo = {"office@example.com"};
    tooLarge.maxAttachMegabytes = 0.1;
    tooLarge.subject = "large";
    const MailSettings settings{"msmtp", "fax@example.com", 20000ms};
    for (const DeliveryRule* rule : {&attached, &plain, &tooLarge}) {
        const DeliveryOutcome sent = mailFax(*rule, fax, settings);
        EXPECT_EQ(sent.end, DeliveryEnd::Done) << sent.words;
    }
    testing::writeText(scratch.file("read.py"), kReader);
    const testing::CommandResult read = testing::runShell(
        "/usr/bin/python3 " + shellQuoted(scratch.file("read.py")) + " " + shellQuoted(scratch.file("box")) + " " +
            shellQuoted(scratch.file("out")),
        scratch.path().string());
    ASSERT_EQ(read.exitCode, 0) << read.err;
    const std::string headers = "headers ['Content-Type', 'Date', 'From', 'MIME-Version', 'Message-ID', 'Subject', 'To']\n";
    EXPECT_EQ(read.out,
              "to sales@example.com, boss@example.org\n" + headers +
                  "subject 'Fax from ACME\\r\\nBcc: all@example.com (2 pages)'\n"
                  "text 'A fax from ACME\\r\\nBcc: all@example.com (+49 30 5551), 2 pages, received 2026-12-01 09:15.'\n"
                  "file 'fax-ACME.pdf' application/pdf True\n"
                  "file 'M\xc3\xbcller.pdf' application/pdf True\n"
                  "to office@example.com\n" + headers +
                  "subject 'Fax f\xc3\xbcr unknown'\n"
                  "text 'From ACME\\r\\nBcc: all@example.com'\n"
                  "to office@example.com\n" + headers + "subject 'large'\n"
                  "text \"A fax from ACME\\r\\nBcc: all@example.com (+49 30 5551), 2 pages, received 2026-12-01 "
                  "09:15.\\n\\nThe fax's files (0.3 MB) are larger than this mail may carry; they are in " +
                  scratch.file("out") + ".\"\n");
}

// What a sendmail or a hook that fails makes of the delivery; the programs
// that fail are stand-ins made to fail so.
TEST(FaxDelivery, ProgramsThatFailDeferOrFailTheActionWithTheirWords)
{
    ScratchFolder scratch;
    const ConvertedFax fax = faxOf(scratch, "$(touch pwned) `touch pwned`");
    const auto program = [&](const std::string& name, const std::string& body) {
        testing::writeText(scratch.file(name), "#!/bin/sh\n" + body + "\n");
        ::chmod(scratch.file(name).c_str(), 0700);
        return scratch.file(name);
    };
    // The hook writes down its arguments and the facts it was given.
    const std::string recorder = program(
        "recorder", "printf '%s\\n' \"$@\" > \"$0.args\"; env | grep '^FAX_' | sort > \"$0.env\"; exit 0");
    struct Case {
        const char* name;
        std::string sendmail;  // or, with hook, the hook
        bool hook;
        DeliveryEnd end;
        std::string words;
    };
    const Case cases[] = {
        {"sendmail says try later", program("later", "cat > /dev/null; exit 75"), false, DeliveryEnd::Deferred,
         "exited with status 75"},
        {"sendmail refuses", program("refuses", "echo 'no such user' >&2; exit 67"), false, DeliveryEnd::Failed,
         "exited with status 67: no such user"},
        {"no sendmail", scratch.file("missing"), false, DeliveryEnd::Deferred, "could not be started"},
        {"sendmail hangs", program("hangs", "exec sleep 30"), false, DeliveryEnd::Deferred, "gave no answer within 1 s"},
        {"sendmail stopped from outside", program("stopped", "cat > /dev/null; kill -TERM $$"), false,
         DeliveryEnd::Deferred, "was ended by signal 15"},
        {"sendmail crashes", program("crashes", "cat > /dev/null; kill -SEGV $$"), false, DeliveryEnd::Failed,
         "was ended by signal 11"},
        {"hook done", recorder, true, DeliveryEnd::Done, ""},
        {"hook says try later", program("hook-later", "exit 75"), true, DeliveryEnd::Deferred, "exited with status 75"},
        {"hook fails", program("hook-fails", "echo 'disk full' >&2; exit 3"), true, DeliveryEnd::Failed,
         "exited with status 3: disk full"},
        {"hook hangs", program("hook-hangs", "sleep 30"), true, DeliveryEnd::Deferred, "gave no answer within 1 s"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        DeliveryRule rule;
        rule.mailTo = {"office@example.com"};
        rule.hook = test.hook ? test.sendmail : "";
        const DeliveryOutcome outcome = test.hook ? runFaxHook(rule, fax, 1000ms)
                                                  : mailFax(rule, fax, MailSettings{test.sendmail, "", 1000ms});
        EXPECT_EQ(outcome.end, test.end);
        EXPECT_NE(outcome.words.find(test.words), std::string::npos) << outcome.words;
    }
    EXPECT_EQ(testing::readText(recorder + ".args"), fax.outputs[0] + "\n" + fax.outputs[1] + "\n");
    EXPECT_EQ(testing::readText(recorder + ".env"),
              "FAX_CALLED=\nFAX_CALLER=+49 30 5551\nFAX_CALLERNAME=\nFAX_MACHINE=\nFAX_PAGES=2\n"
              "FAX_RECEIVED=2026-12-01T09:15:00\nFAX_SENDER=$(touch pwned) `touch pwned`\nFAX_SOURCE=\n"
              "FAX_SOURCE_PATH=" + fax.sourcePath + "\nFAX_SUBADDRESS=\n");
    EXPECT_FALSE(fs::exists(scratch / "pwned"));
}

// pliftcmd /watch on in/ into out/, its report in a file, ended with the
// object (SIGTERM) unless stopped before.
class Watcher {
public:
    Watcher(const ScratchFolder& scratch, const std::string& report, const std::vector<std::string>& options)
        : report_(report)
    {
        std::vector<std::string> arguments = {PLIFTCMD_PATH, "/d=" + scratch.file("in"), "/sd=" + scratch.file("out"),
                                              "/log=", "/watch", "/settle=0"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::execv(PLIFTCMD_PATH, argv.data());
            ::_exit(127);
        }
    }
    ~Watcher() { stop(); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Its exit status; -1 when it was stopped before.
    int stop()
    {
        if (pid_ <= 0) return -1;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string report() const { return fs::exists(report_) ? testing::readText(report_) : ""; }

    // Waits, at most 60 s, until the report holds `part` `count` times.
    bool reported(const std::string& part, size_t count = 1) const
    {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string text = report();
            size_t found = 0;
            for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
            if (found >= count) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

private:
    std::string report_;
    pid_t pid_ = -1;
};

// The watcher (without a backup folder, where a fax whose outputs are
// current is otherwise passed over) tries a deferred mail again after
// /retry=, and a mail deferred when it stopped is sent by the next watcher:
// every fax is mailed exactly once.
// The record keeps the actions of faxes still there, and of faxes another
// process is delivering; those of faxes replaced or removed go.
TEST(FaxDelivery, TheRecordForgetsTheActionsOfFaxesThatCanNeverComeBack)
{
    ScratchFolder scratch;
    RunDelivery delivery;
    delivery.recordPath = scratch.file("state/deliveries.txt");
    fs::create_directories(scratch.file("in/unmounted"));
    for (const char* name : {"kept", "removed", "replaced", "claimed", "unmounted/fax"}) {
        testing::writeText(scratch.file(std::string("in/") + name + ".tif"), name);
    }
    const auto identity = [&](const char* name) { return sourceIdentity(scratch.file(std::string("in/") + name + ".tif")); };
    RunRecord record(delivery.recordPath);
    record.set("mail " + identity("kept"), "done");
    record.set("hook " + identity("kept"), "pending");
    record.set("mail " + identity("removed"), "done");
    record.set("mail " + identity("replaced"), "pending");
    record.set("mail " + identity("claimed"), "delivering by process " + std::to_string(::getppid()));
    record.set("mail " + identity("unmounted/fax"), "done");
    ASSERT_TRUE(record.save());
    fs::remove(scratch.file("in/removed.tif"));
    fs::remove(scratch.file("in/claimed.tif"));
    testing::writeText(scratch.file("in/replaced.tif"), "a new fax under the old name");
    fs::remove_all(scratch.file("in/unmounted"));

    EXPECT_EQ(forgetDeliveriesOfGoneSources(delivery), 2u);
    std::set<std::string> kept;
    RunRecord(delivery.recordPath).forEach([&](const std::string& key, const std::string&) {
        kept.insert(key.substr(0, key.find(' ')) + " " + fs::path(key.substr(0, key.find('|'))).filename().string());
    });
    EXPECT_EQ(kept, (std::set<std::string>{"mail claimed.tif", "hook kept.tif", "mail kept.tif", "mail fax.tif"}));
    EXPECT_EQ(forgetDeliveriesOfGoneSources(delivery), 0u);
}

TEST_F(MailedFaxes, AWatcherMailsADeferredFaxOnceAfterItsWaitAndAfterARestart)
{
    const ScratchFolder& scratch = scratch_;
    fs::create_directories(scratch / "out");
    // msmtp itself, but for "try again later" while the file "down" exists.
    const std::string sendmail = scratch.file("sendmail-when-up");
    testing::writeText(sendmail, "#!/bin/sh\nif [ -e " + shellQuoted(scratch.file("down")) +
                                     " ]; then cat > /dev/null; exit 75; fi\nexec msmtp \"$@\"\n");
    ::chmod(sendmail.c_str(), 0700);
    const std::vector<std::string> options = {"/to=pdf", "/retry=1", "/mailto=office@example.com",
                                              "/sendmail=" + sendmail, "/subject=From {sender}"};

    testing::writeText(scratch.file("down"), "");
    fax("a.tif", "ACME");
    Watcher first(scratch, scratch.file("first.txt"), options);
    ASSERT_TRUE(first.reported("Delivery to be tried again in 1 s")) << first.report();
    EXPECT_NE(first.report().find("Delivery deferred : mail to office@example.com (" + sendmail +
                                  " exited with status 75)"),
              std::string::npos)
        << first.report();
    fs::remove(scratch.file("down"));
    ASSERT_TRUE(first.reported("Delivered : mail to office@example.com")) << first.report();

    // Deferred again when the watcher stops: the next one mails it at once,
    testing::writeText(scratch.file("down"), "");
    fax("b.tif", "BETA");
    ASSERT_TRUE(first.reported("Delivery deferred", 2)) << first.report();
    EXPECT_EQ(first.stop(), 0);
    fs::remove(scratch.file("down"));
    const auto written = fs::last_write_time(scratch / "out/b.pdf");
    Watcher second(scratch, scratch.file("second.txt"), options);
    ASSERT_TRUE(second.reported("Delivered : mail to office@example.com")) << second.report();
    std::this_thread::sleep_for(1500ms);  // time for a needless conversion or mail to show
    EXPECT_EQ(second.stop(), 0);
    const std::string report = second.report();
    // ... from the outputs it has, not converting it again.
    EXPECT_EQ(report.find(" --> "), std::string::npos) << report;
    const size_t skipped = report.find("Skipped : " + scratch.file("out/b.pdf") + " already exist!");
    EXPECT_NE(skipped, std::string::npos) << report;
    EXPECT_NE(report.find("Delivered : mail to office@example.com", skipped), std::string::npos) << report;
    EXPECT_EQ(fs::last_write_time(scratch / "out/b.pdf"), written);
    EXPECT_EQ(readMail("print(sorted(str(box[key]['Subject']) for key in box.keys()))"), "['From ACME', 'From BETA']\n");
}

// Folder runs deliver by the rules file: each fax by the first rule that
// holds, once, whatever runs follow; a fax whose mail is deferred stays in
// the source folder and is mailed, once, by the next run; a rules file with
// a mistake converts nothing.
TEST_F(MailedFaxes, FolderRunsMailEachFaxOnceAndKeepADeferredOneUntilItIsMailed)
{
    const ScratchFolder& scratch = scratch_;
    fs::create_directories(scratch / "done");
    fax("acme.tif", "ACME\n+49 30 5551");
    fax("evil.tif", "EVIL\r\nBcc: all@example.com\n$(touch pwned)");
    testing::writeText(scratch.file("rules.ini"),
                       "[ACME]\nsender = ACME\nmailto = acme@example.com\nsubject = From {sender} {caller}\n"
                       "[Everyone else]\nmailto = office@example.com\n");
    const std::string stand_in = scratch.file("sendmail-later");
    testing::writeText(stand_in, "#!/bin/sh\ncat > /dev/null\nexit 75\n");
    ::chmod(stand_in.c_str(), 0700);
    // Folders named from the scratch folder, or ("") relative to it.
    const auto run = [&](const std::string& sendmail, const std::string& rules, const std::string& base) {
        return faxtest::runPliftcmd({"/to=pdf", "/d=" + base + "in", "/sd=" + base + "out", "/bd=" + base + "done",
                                     "/rules=" + rules, "/sendmail=" + sendmail, "/mailfrom=fax@example.com"},
                                    scratch.path().string(), scratch.path().string());
    };
    const std::string absolute = scratch.path().string() + "/";
    const auto mailed = [&] {
        return readMail("for key in sorted(box.keys(), key=lambda key: str(box[key]['X-RcptTo'])):\n"
                        "    print(box[key]['X-RcptTo'], '|', box[key]['Bcc'])");
    };

    // The first run's mail is deferred: the faxes stay, converted.
    testing::CommandResult first = run(stand_in, scratch.file("rules.ini"), absolute);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("Delivery deferred : mail to acme@example.com (" + stand_in + " exited with status 75)"),
              std::string::npos) << first.out;
    EXPECT_TRUE(fs::exists(scratch / "in/acme.tif") && fs::exists(scratch / "in/evil.tif"));
    EXPECT_TRUE(fs::exists(scratch / "out/acme.pdf"));
    // The next run mails both, once, and moves them on; a third finds nothing to mail.
    const testing::CommandResult second = run("msmtp", scratch.file("rules.ini"), absolute);
    EXPECT_NE(second.out.find("Delivered : mail to office@example.com"), std::string::npos) << second.out;
    EXPECT_TRUE(fs::exists(scratch / "done/acme.tif") && fs::exists(scratch / "done/evil.tif"));
    fs::copy_file(scratch / "done/acme.tif", scratch / "in/acme.tif");
    fs::last_write_time(scratch / "in/acme.tif", fs::last_write_time(scratch / "done/acme.tif"));
    fs::remove(scratch / "done/acme.tif");
    // ... though it names the folders otherwise.
    const testing::CommandResult third = run("msmtp", scratch.file("rules.ini"), "");
    EXPECT_EQ(third.out.find("Delivered"), std::string::npos) << third.out;
    EXPECT_EQ(mailed(), "acme@example.com | None\noffice@example.com | None\n");
    EXPECT_FALSE(fs::exists(scratch / "pwned"));

    // A rules file with a mistake stops the run before anything is converted.
    fax("new.tif", "NEW");
    testing::writeText(scratch.file("bad.ini"), "[a]\nmailto = a@example.com\nmail_to = b@example.com\n");
    const testing::CommandResult refused = run("msmtp", scratch.file("bad.ini"), absolute);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find(scratch.file("bad.ini") + ":3: unknown key \"mail_to\""), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(scratch / "out/new.pdf"));
}

// Two runs that convert one fax at the same moment (a manual run beside the
// watcher) mail it once: the first to claim it delivers, the other defers.
TEST_F(MailedFaxes, RunsConvertingOneFaxAtOnceMailItOnce)
{
    fax("fax.tif", "ACME");
    // msmtp, slow to start: both runs are under way before either mails.
    const std::string sendmail = scratch_.file("slow-sendmail");
    testing::writeText(sendmail, "#!/bin/sh\nsleep 1\nexec msmtp \"$@\"\n");
    ::chmod(sendmail.c_str(), 0700);
    std::string both;
    for (const char* run : {"one", "two"}) {
        both += shellQuoted(PLIFTCMD_PATH) + " " + shellQuoted("/f=" + scratch_.file("in/fax.tif")) + " " +
                shellQuoted("/sf=" + scratch_.file(std::string(run) + "/fax.pdf")) + " /to=pdf /log= " +
                "/mailto=office@example.com " + shellQuoted("/sendmail=" + sendmail) + " > " +
                shellQuoted(scratch_.file(std::string(run) + ".txt")) + " & ";
    }
    ASSERT_EQ(testing::runShell(both + "wait", scratch_.path().string()).exitCode, 0);
    const std::string reports = testing::readText(scratch_.file("one.txt")) + testing::readText(scratch_.file("two.txt"));
    EXPECT_NE(reports.find("Delivered : mail to office@example.com"), std::string::npos) << reports;
    EXPECT_NE(reports.find("Delivery deferred : mail to office@example.com (process "), std::string::npos) << reports;
    EXPECT_EQ(readMail("print(len(box.keys()))"), "1\n");
}

}  // namespace
}  // namespace pagelift
