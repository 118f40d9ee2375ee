// Names made of a fax's facts: templates are checked when a run starts and
// filled for each fax, and whatever a stranger put into the facts comes out
// as one plain file name.

#include "output/name_template.h"
#include "support/ocr_module.h"

#include <gtest/gtest.h>

#include <ctime>
#include <optional>

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

}  // namespace
}  // namespace pagelift
