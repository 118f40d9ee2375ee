// Names made of a fax's facts: templates are checked when a run starts and
// filled for each fax, and whatever a stranger put into the facts comes out
// as one plain file name.

#include "batch/run_record.h"
#include "output/name_template.h"
#include "support/blank_faxes.h"
#include "support/fax_fixtures.h"
#include "support/ocr_module.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace pagelift {
namespace {

FaxFacts hylafaxFacts()
{
    FaxFacts facts = faxFactsOfContainer("+49 30 1234567\n4930123456\nACME GmbH", "2026:12:01 09:15:07", "", "", "");
    facts.source = "fax000000123";
    facts.pages = 3;
    return facts;
}

TEST(NameTemplates, FieldsBracesAndUnknownFactsFillOrAreRefusedNamingTheFault)
{
    // Times of files are local: this test's zone is fixed, and put back after.
    struct UtcZone {
        std::optional<testing::ScopedEnvironment> zone;
        UtcZone() { zone.emplace("TZ", "UTC"); tzset(); }
        ~UtcZone() { zone.reset(); tzset(); }
    } utc;
    FaxFacts unknown;
    unknown.source = "undated";
    struct Case {
        const char* text;
        const FaxFacts* facts;
        std::string filled;  // or, when refused, words of the reason
        bool refused = false;
    };
    const FaxFacts hylafax = hylafaxFacts();
    const Case cases[] = {
        {"fax-{received:%Y%m%d-%H%M%S}-{sender}", &hylafax, "fax-20261201-091507-+49 30 1234567"},
        {"{sender}|{caller}|{callername}|{called}|{subaddress}|{pages}|{source}|{machine}|{received}", &hylafax,
         "+49 30 1234567|4930123456|ACME GmbH|unknown|unknown|3|fax000000123|unknown|2026-12-01 09:15"},
        {"{{{source}}} {received:%a %j}", &hylafax, "{fax000000123} Tue 335"},
        {"{received:%Y-%m-%d %H:%M:%S} {sender}", &unknown, "2021-06-01 10:00:00 unknown"},
        {"plain", &hylafax, "plain"},
        {"fax-{colour}", &hylafax, "{colour} is no fact of a fax", true},
        {"fax-{sender", &hylafax, "the field opened at 5 is not closed", true},
        {"fax-}", &hylafax, "a '}' at 5 closes no field", true},
        {"{caller:%Y}", &hylafax, "only {received:FORMAT} takes a format", true},
        {"{}", &hylafax, "{} is no fact of a fax", true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        std::string why;
        const std::optional<NameTemplate> parsed = NameTemplate::parse(test.text, why);
        ASSERT_EQ(!parsed, test.refused) << why;
        if (test.refused) {
            EXPECT_NE(why.find(test.filled), std::string::npos) << why;
        } else {
            EXPECT_EQ(parsed->fill(*test.facts, 1622541600), test.filled);
        }
    }
}

TEST(NameTemplates, HostileFactsComeOutAsOnePlainFileName)
{
    struct Case {
        const char* name;
        std::string text;
        size_t limit;
        std::string safe;
    };
    const Case cases[] = {
        {"a fax server's name", "fax-20261201-091500-+49 30 1234567", 255, "fax-20261201-091500-+49-30-1234567"},
        {"line breaks", "A\r\nB\n", 255, "A--B-"},
        {"folders", "../../etc/passwd", 255, "-.-..-etc-passwd"},
        {"a dot alone, two", "..", 255, "-."},
        {"a shell's words", "$(rm -rf ~)`id`;|&", 255, "--rm--rf----id----"},
        {"UTF-8 and Latin-1", "M\xc3\xbcller M\xfcller", 255, "M--ller-M-ller"},
        {"a zero byte", std::string("a\0b", 3), 255, "a-b"},
        {"empty", "", 255, "unknown"},
        {"too long", std::string(300, 'x'), 200, std::string(200, 'x')},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(safeFileName(test.text, test.limit), test.safe);
    }
}

namespace fs = std::filesystem;
using faxtest::ScratchFolder;

// A one-page fax whose ImageDescription is `description`.
void writeFax(const fs::path& path, const std::string& description)
{
    testing::writeBytes(path.string(), testing::group4Tiff({{{8, 1}, {0x80, 0x10, 0x01}, "2026:12:01 09:15:00", description}}));
}

// The PDFs of a folder, each with its Keywords as pdfinfo reads them (the
// caller's number: the second line of the fax's description).
std::map<std::string, std::string> keywordsByName(const fs::path& folder, const ScratchFolder& scratch)
{
    std::map<std::string, std::string> keywords;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string info =
            faxtest::runShell("pdfinfo " + testing::shellQuoted(entry.path().string()), scratch.path().string()).out;
        const size_t at = info.find("Keywords:");
        const size_t value = info.find_first_not_of(' ', at + 9);
        keywords[entry.path().filename().string()] =
            at == std::string::npos ? "" : info.substr(value, info.find('\n', value) - value);
    }
    return keywords;
}

std::string pliftcmdLine(const std::string& state, const std::vector<std::string>& arguments)
{
    std::string line = "XDG_STATE_HOME=";
    line.append(testing::shellQuoted(state)).append(" ").append(testing::shellQuoted(PLIFTCMD_PATH));
    for (const std::string& argument : arguments) line.append(" ").append(testing::shellQuoted(argument));
    return line;
}

// Faxes named by template: names that meet get -2, -3 in list order, the
// same with one job or three; a second run gives each fax its own names
// back and writes nothing new; hostile facts make one plain name inside the
// destination.
TEST(TemplateNames, ClashesGetSuffixesInListOrderAndASecondRunGetsItsOwnNamesBack)
{
    if (!faxtest::toolsAvailable({"/usr/bin/pdfinfo"})) GTEST_SKIP() << "needs pdfinfo (scripts/install-deps.sh --test)";
    ScratchFolder scratch;
    const fs::path in = scratch / "in";
    fs::create_directories(in);
    // In list order: a, b and c from one sender; d's facts are hostile.
    writeFax(in / "a.tif", "ACME\nfirst");
    writeFax(in / "b.tif", "ACME\nsecond");
    writeFax(in / "c.tif", "ACME\nthird");
    writeFax(in / "d.tif", "../../x\r\n$(id)");
    // The run's list order is the folder's: the listing tells it, a file a
    // line (their own names do not meet).
    std::stringstream order(faxtest::runShell(pliftcmdLine((scratch / "state").string(),
                                                           {"/list", "/d=" + in.string(), "/sd=" + scratch.file("x")}),
                                              scratch.path().string())
                                .out);
    const std::map<std::string, std::string> callers = {{"a.tif", "first"}, {"b.tif", "second"}, {"c.tif", "third"}};
    std::map<std::string, std::string> expected = {{"fax-..-..-x.pdf", "$(id)"}};
    for (std::string file; std::getline(order, file);) {
        const std::vector<std::string> names = {"fax-ACME.pdf", "fax-ACME-2.pdf", "fax-ACME-3.pdf"};
        if (callers.count(file) != 0) expected[names[expected.size() - 1]] = callers.at(file);
    }
    ASSERT_EQ(expected.size(), 4u);
    for (const char* jobs : {"/j=1", "/j=3"}) {
        SCOPED_TRACE(jobs);
        const fs::path out = scratch / (std::string("out-") + (jobs + 1));
        const std::string line = pliftcmdLine((scratch / "state").string(),
                                              {"/q", "/to=pdf", jobs, "/d=" + in.string(), "/sd=" + out.string(),
                                               "/name=fax-{sender}"});
        ASSERT_EQ(faxtest::runShell(line, scratch.path().string()).exitCode, 0);
        EXPECT_EQ(keywordsByName(out, scratch), expected);
        ASSERT_EQ(faxtest::runShell(line, scratch.path().string()).exitCode, 0);
        EXPECT_EQ(keywordsByName(out, scratch), expected) << "the second run";
    }
    EXPECT_FALSE(fs::exists(scratch / "x.pdf"));
    // A fax removed is forgotten by the record, but its output keeps its name
    // from a newcomer all the same.
    fs::remove(in / "a.tif");
    writeFax(in / "e.tif", "ACME\nfourth");
    expected["fax-ACME-4.pdf"] = "fourth";
    const fs::path out = scratch / "out-j=1";
    ASSERT_EQ(faxtest::runShell(pliftcmdLine((scratch / "state").string(), {"/q", "/to=pdf", "/d=" + in.string(),
                                                                            "/sd=" + out.string(), "/name=fax-{sender}"}),
                                scratch.path().string())
                  .exitCode,
              0);
    EXPECT_EQ(keywordsByName(out, scratch), expected);
    const std::string names = testing::readText((scratch / "state/pagelift/names.txt").string());
    EXPECT_EQ(names.find("/a.tif|"), std::string::npos) << names;
    EXPECT_NE(names.find("/e.tif|"), std::string::npos) << names;
    // The PDF's title is what the template gave, before it was made a file name.
    const std::string info =
        faxtest::runShell("pdfinfo " + testing::shellQuoted((scratch / "out-j=1" / "fax-..-..-x.pdf").string()),
                          scratch.path().string())
            .out;
    EXPECT_NE(info.find("Title:           fax-../../x\n"), std::string::npos) << info;
    // A template that names no fact, or leaves a brace open, stops the run.
    for (const char* bad : {"/name=fax-{colour}", "/name=fax-{sender"}) {
        const faxtest::CommandResult refused = faxtest::runShell(
            pliftcmdLine((scratch / "state").string(), {"/d=" + in.string(), "/sd=" + scratch.file("refused"), bad}),
            scratch.path().string());
        EXPECT_EQ(refused.exitCode, 2) << bad;
        EXPECT_NE(refused.err.find(bad), std::string::npos) << refused.err;
        EXPECT_FALSE(fs::exists(scratch / "refused"));
    }
}

// /list groups faxes by the names the template gives them: a.tif and a1.tif
// (whose own names may meet: a.jpg, a1.jpg) stand apart, b.tif and c.tif
// (named x and x1) together.
TEST(TemplateNames, ListingGroupsByTheNamesTheTemplateGives)
{
    ScratchFolder scratch;
    const fs::path in = scratch / "in";
    fs::create_directories(in);
    writeFax(in / "a.tif", "S\np");
    writeFax(in / "a1.tif", "S\nq");
    writeFax(in / "b.tif", "S\nx");
    writeFax(in / "c.tif", "S\nx1");
    // The groups, whatever order the folder lists its files in.
    const auto groups = [&](const std::vector<std::string>& naming) {
        std::vector<std::string> arguments = {"/list", "/d=" + in.string(), "/sd=" + (scratch / "out").string()};
        arguments.insert(arguments.end(), naming.begin(), naming.end());
        std::stringstream lines(
            faxtest::runShell(pliftcmdLine((scratch / "state").string(), arguments), scratch.path().string()).out);
        std::set<std::set<std::string>> found;
        for (std::string line; std::getline(lines, line);) {
            std::set<std::string> group;
            std::stringstream entries(line);
            for (std::string entry; std::getline(entries, entry, '\t');) group.insert(entry);
            found.insert(group);
        }
        return found;
    };
    using Groups = std::set<std::set<std::string>>;
    EXPECT_EQ(groups({}), (Groups{{"a.tif", "a1.tif"}, {"b.tif"}, {"c.tif"}}));
    EXPECT_EQ(groups({"/name={caller}"}), (Groups{{"a.tif"}, {"a1.tif"}, {"b.tif", "c.tif"}}));
}

// A delivery rule's name names the faxes it applies to, over /name=; the
// others keep the run's naming.
TEST(TemplateNames, ARulesNameNamesTheFaxesOfItsRule)
{
    ScratchFolder scratch;
    const fs::path in = scratch / "in";
    fs::create_directories(in);
    writeFax(in / "a.tif", "ACME\nfirst");
    writeFax(in / "b.tif", "OTHER\nsecond");
    testing::writeText(scratch.file("rules.ini"), "[ACME]\nsender = ACME\nname = acme-{caller}\n[Others]\n");
    for (const std::string& naming : {std::string(), std::string("/name=fax-{caller}")}) {
        SCOPED_TRACE(naming);
        const fs::path out = scratch / ("out" + std::to_string(naming.size()));
        std::vector<std::string> arguments = {"/q", "/to=pdf", "/d=" + in.string(), "/sd=" + out.string(),
                                              "/rules=" + scratch.file("rules.ini")};
        if (!naming.empty()) arguments.push_back(naming);
        ASSERT_EQ(faxtest::runShell(pliftcmdLine((scratch / "state").string(), arguments), scratch.path().string()).exitCode,
                  0);
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(out)) names.insert(entry.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{"acme-first.pdf", naming.empty() ? "b.pdf" : "fax-second.pdf"}));
    }
}

// Processes that keep one record side by side (a watcher and a manual run)
// lose none of each other's keys, however their reads and saves interleave.
TEST(RunRecords, KeepersOfOneRecordLoseNoneOfEachOthersKeys)
{
    ScratchFolder scratch;
    const std::string path = scratch.file("state/record.txt");
    RunRecord early(path);  // read before the others write
    constexpr int kProcesses = 4;
    constexpr int kKeys = 40;
    std::vector<pid_t> children;
    for (int process = 0; process < kProcesses; ++process) {
        const pid_t child = ::fork();
        if (child == 0) {
            bool saved = true;
            for (int key = 0; key < kKeys; ++key) {
                RunRecord record(path);
                record.set(std::to_string(process) + "/" + std::to_string(key), "done");
                saved = record.save() && saved;
            }
            ::_exit(saved ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(status, 0);
    }
    early.set("early", "pending");
    ASSERT_TRUE(early.save());
    const RunRecord after(path);
    EXPECT_EQ(after.valueOf("early"), "pending");
    int kept = 0;
    for (int process = 0; process < kProcesses; ++process) {
        for (int key = 0; key < kKeys; ++key) kept += after.valueOf(std::to_string(process) + "/" + std::to_string(key)) == "done";
    }
    EXPECT_EQ(kept, kProcesses * kKeys);
}

// A source is one whatever path leads to it; it is stale once replaced or
// removed, but not while its folder is missing (a share not mounted).
TEST(RunRecords, ASourceIsNamedOnceWhateverPathLeadsToItAndIsStaleOnceReplacedOrRemoved)
{
    ScratchFolder scratch;
    std::filesystem::create_directories(scratch.file("in"));
    std::filesystem::create_directories(scratch.file("gone"));
    testing::writeText(scratch.file("in/fax.tif"), "fax");
    std::filesystem::create_directory_symlink(scratch.file("in"), scratch.file("linked"));
    const std::string identity = sourceIdentity(scratch.file("in/fax.tif"));
    const std::string real = std::filesystem::canonical(scratch.file("in/fax.tif")).string();
    EXPECT_EQ(identity.substr(0, identity.find('|')), real);
    const std::filesystem::path working = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path());
    EXPECT_EQ(sourceIdentity("in/fax.tif"), identity);
    EXPECT_EQ(sourceIdentity("./linked/../in//fax.tif"), identity);
    std::filesystem::current_path(working);
    EXPECT_EQ(sourceIdentity(scratch.file("linked/fax.tif")), identity);

    testing::writeText(scratch.file("gone/fax.tif"), "fax");
    const std::string gone = sourceIdentity(scratch.file("gone/fax.tif"));
    struct Case {
        const char* name;
        std::function<void()> change;
        std::string identity;
        bool stale;
    };
    const Case cases[] = {
        {"unchanged", [] {}, identity, false},
        {"rewritten", [&] { testing::writeText(scratch.file("in/fax.tif"), "another fax"); }, identity, true},
        {"removed", [&] { std::filesystem::remove(scratch.file("in/fax.tif")); }, identity, true},
        {"its folder gone", [&] { std::filesystem::remove_all(scratch.file("gone")); }, gone, false},
        {"no size and time", [] {}, real, false},
        {"empty", [] {}, "", false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        test.change();
        EXPECT_EQ(sourceIdentityIsStale(test.identity), test.stale);
    }
}

}  // namespace
}  // namespace pagelift
