// Rules files: what a site writes is read with its line numbers, its
// mistakes refused naming file, line and key, and the first rule whose
// conditions hold routes each fax.

#include "output/delivery_rules.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace pagelift {
namespace {

using testing::ScratchFolder;

const char* const kSiteRules =
    "; routing of a small office\n"
    "[Sales line]\n"
    "called = 4930123*\n"
    "mailto = sales@example.com, boss@example.com\n"
    "subject = Fax for sales from {sender}\n"
    "\n"
    "[Extension 77]\r\n"
    "subaddress = 77\r\n"
    "mailto = seventy-seven@example.com\r\n"
    "attach = no\r\n"
    "# a known sender, from one number only\n"
    "[ACME]\n"
    "  Sender = ACME*  \n"
    "caller = +49 30 555?\n"
    "hook = /usr/local/bin/file-acme\n"
    "maxattach = 2.5\n"
    "[Everything else]\n"
    "mailto = office@example.com\n";

TEST(DeliveryRules, TheFirstRuleWhoseConditionsAllHoldRoutesTheFax)
{
    ScratchFolder scratch;
    testing::writeText(scratch.file("rules.ini"), kSiteRules);
    std::string why;
    const std::optional<DeliveryRules> rules = readDeliveryRules(scratch.file("rules.ini"), why);
    ASSERT_TRUE(rules.has_value()) << why;
    ASSERT_EQ(rules->rules.size(), 4u);
    EXPECT_EQ(rules->rules[0].mailTo, (std::vector<std::string>{"sales@example.com", "boss@example.com"}));
    EXPECT_EQ(rules->rules[1].line, 7);
    EXPECT_FALSE(rules->rules[1].attach);
    EXPECT_EQ(rules->rules[2].maxAttachMegabytes, 2.5);
    EXPECT_EQ(rules->rules[3].subject, "Fax from {sender} ({pages} pages)");
    struct Case {
        const char* name;
        FaxFacts facts;
        std::string rule;
    };
    const auto facts = [](std::string called, std::string subAddress, std::string sender, std::string caller) {
        FaxFacts made;
        made.called = std::move(called);
        made.subAddress = std::move(subAddress);
        made.sender = std::move(sender);
        made.caller = std::move(caller);
        return made;
    };
    const Case cases[] = {
        {"by called number", facts("4930123456", "77", "ACME", "+49 30 5551"), "Sales line"},
        {"by sub-address", facts("4930999", "77", "ACME", "+49 30 5551"), "Extension 77"},
        {"by sender and caller, case ignored", facts("", "", "acme corp", "+49 30 5552"), "ACME"},
        {"the sender alone is not enough", facts("", "", "ACME", "+49 40 5552"), "Everything else"},
        {"a hostile sender", facts("", "", "ACME\r\nBcc: all@example.com", "+49 30 555$"), "ACME"},
        {"nothing known", FaxFacts{}, "Everything else"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const DeliveryRule* rule = deliveryRuleFor(*rules, test.facts);
        ASSERT_NE(rule, nullptr);
        EXPECT_EQ(rule->name, test.rule);
    }
    EXPECT_EQ(deliveryRuleFor(DeliveryRules{{rules->rules[0]}}, FaxFacts{}), nullptr) << "no rule applies";
}

TEST(DeliveryRules, MistakesNameTheFileTheLineAndTheKey)
{
    ScratchFolder scratch;
    struct Case {
        const char* text;
        std::string why;  // after "rules.ini:"
    };
    const Case cases[] = {
        {"[a]\nmailto = a@example.com\ncolour = red\n", "3: unknown key \"colour\""},
        {"mailto = a@example.com\n[a]\n", "1: key \"mailto\" before the first [section]"},
        {"[a]\n[b]\n[A]\n", "3: a second section [A]"},
        {"[a]\nmailto = x@example.com\nMailTo = y@example.com\n", "3: key \"mailto\" a second time in [a]"},
        {"[a]\nattach = maybe\n", "2: attach takes yes or no"},
        {"[a]\nmaxattach = 0\n", "2: maxattach takes megabytes"},
        {"[a]\nmaxattach = 5MB\n", "2: maxattach takes megabytes"},
        {"[a]\nsubject = Fax from {colour}\n", "2: subject: {colour} is no fact of a fax"},
        {"[a]\nbody = {sender\n", "2: body: the field opened at 1 is not closed"},
        {"[a]\nmailto = a@example.com, -oQ/tmp\n", "2: mailto takes addresses separated by commas, not \"-oQ/tmp\""},
        {"[a]\nmailto = a b@example.com\n", "2: mailto takes addresses"},
        {"[a]\nmailto = a@example.com,\n", "2: mailto takes addresses separated by commas, not \"\""},
        {"[a]\nhook =\n", "2: hook takes a program"},
        {"[a\n", "1: a section's name stands in brackets"},
        {"[a]\njust words\n", "2: a line of a rule is key = value"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        testing::writeText(scratch.file("rules.ini"), test.text);
        std::string why;
        EXPECT_FALSE(readDeliveryRules(scratch.file("rules.ini"), why).has_value());
        EXPECT_EQ(why.rfind(scratch.file("rules.ini:") + test.why, 0), 0u) << why;
    }
    std::string why;
    EXPECT_FALSE(readDeliveryRules(scratch.file("missing.ini"), why).has_value());
    EXPECT_EQ(why, scratch.file("missing.ini") + ": cannot be read");
}

}  // namespace
}  // namespace pagelift
