// Mail messages of received faxes, read back by Python's email package (the
// parser mail programs written in Python use): headers as given or decoded
// back to the same text, nothing a fax carries adds a header, and every
// attachment comes back byte for byte under its name and type.

#include "output/fax_mail.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace pagelift {
namespace {

using testing::ScratchFolder;
using testing::shellQuoted;

// Prints what Python's email package reads in a message: the header names,
// From, To and the decoded Subject, then for each part its type, its file
// name and whether its bytes equal those of the file named after the
// message on the command line, in order.
const char* const kReader = R"(
import sys, email, email.policy
message = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=email.policy.default)
print(sorted(message.keys()))
print(repr(str(message['From'])), repr(str(message['To'])))
print(repr(str(message['Subject'])))
print(message.get_content_type(), len(message.defects))
files = sys.argv[2:]
for part in message.iter_parts():
    if part.get_content_maintype() == 'text':
        print('text', repr(part.get_content()))
    else:
        expected = open(files.pop(0), 'rb').read()
        print(part.get_content_type(), repr(part.get_filename()), part.get_content() == expected)
)";

TEST(FaxMail, PythonsEmailReadsBackHeadersTextAndAttachmentsWhateverTheFaxCarries)
{
    const std::string missing = testing::missingTool({"/usr/bin/python3"});
    if (!missing.empty()) GTEST_SKIP() << "needs " << missing;
    ScratchFolder scratch;
    testing::writeText(scratch.file("read.py"), kReader);
    std::vector<uint8_t> every;
    for (int byte = 0; byte < 256 * 40; ++byte) every.push_back(uint8_t(byte * 7 + byte / 256));
    testing::writeBytes(scratch.file("fax.pdf"), every);
    testing::writeBytes(scratch.file("page.png"), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    struct Case {
        const char* name;
        std::string subject;
        std::string body;
        std::string fileName;
    };
    const Case cases[] = {
        {"plain", "Fax from ACME (3 pages)", "A fax of 3 pages.\n", "fax-ACME.pdf"},
        {"a header smuggled in the sender", "Fax from ACME\r\nBcc: all@example.com\r\n\r\nbody",
         "From: ACME\r\nBcc: all@example.com\n", "fax-ACME--Bcc.pdf"},
        {"UTF-8 and long", "Fax von M\xc3\xbcller " + std::string(120, 'x') + " \xe2\x82\xac", "Gr\xc3\xbc\xc3\x9f" "e",
         "M\xc3\xbcller Fax.pdf"},
        {"Latin-1 bytes", "Fax von M\xfcller", "M\xfcller", "fax \"quoted\".pdf"},
        {"a word that looks encoded", "=?UTF-8?B?QmNjOiB4?=", "", "=?x?=.pdf"},
    };
    const auto utf8OfLatin1 = [](const std::string& text) {
        std::string utf8;
        for (const char c : text) {
            if (uint8_t(c) < 0x80) {
                utf8 += c;
            } else {
                utf8 += char(0xC0 | (uint8_t(c) >> 6));
                utf8 += char(0x80 | (uint8_t(c) & 0x3F));
            }
        }
        return utf8;
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        FaxMail mail;
        mail.from = "fax@example.com";
        mail.to = {"a@example.com", "b@example.org"};
        mail.subject = test.subject;
        mail.body = test.body;
        mail.date = mailDate(1796112000);
        mail.messageId = "<1796112000.1@pagelift.example>";
        mail.attachments = {{scratch.file("fax.pdf"), test.fileName, "application/pdf"},
                            {scratch.file("page.png"), "page001.png", "image/png"}};
        std::string why;
        const std::optional<std::string> message = faxMailMessage(mail, why);
        ASSERT_TRUE(message.has_value()) << why;
        testing::writeText(scratch.file("mail.eml"), *message);
        const testing::CommandResult read = testing::runShell(
            "/usr/bin/python3 " + shellQuoted(scratch.file("read.py")) + " " + shellQuoted(scratch.file("mail.eml")) +
                " " + shellQuoted(scratch.file("fax.pdf")) + " " + shellQuoted(scratch.file("page.png")),
            scratch.path().string());
        ASSERT_EQ(read.exitCode, 0) << read.err;
        const bool latin1 = std::string(test.name) == "Latin-1 bytes";
        const std::string subject = latin1 ? utf8OfLatin1(test.subject) : test.subject;
        const std::string body = latin1 ? utf8OfLatin1(test.body) : test.body;
        const std::string fileName = test.fileName;
        const auto python = [](const std::string& text) {
            // Python's repr of a str of printable characters and CR, LF, quotes.
            std::string quoted = text.find('\'') != std::string::npos && text.find('"') == std::string::npos ? "\"" : "'";
            const char quote = quoted[0];
            for (const char c : text) {
                if (c == '\r') quoted += "\\r";
                else if (c == '\n') quoted += "\\n";
                else if (c == '\\') quoted += "\\\\";
                else if (c == quote) quoted += std::string("\\") + c;
                else quoted += c;
            }
            return quoted + quote;
        };
        const std::string expected =
            "['Content-Type', 'Date', 'From', 'MIME-Version', 'Message-ID', 'Subject', 'To']\n"
            "'fax@example.com' 'a@example.com, b@example.org'\n" +
            python(subject) + "\nmultipart/mixed 0\ntext " + python(body) + "\napplication/pdf " +
            python(fileName) + " True\nimage/png 'page001.png' True\n";
        EXPECT_EQ(read.out, expected) << *message;
    }
}

TEST(FaxMail, AnAddressWithALineBreakOrAMissingFileWritesNoMessage)
{
    FaxMail mail;
    mail.from = "fax@example.com";
    mail.to = {"a@example.com\nBcc: b@example.com"};
    std::string why;
    EXPECT_FALSE(faxMailMessage(mail, why).has_value());
    EXPECT_NE(why.find("holds a blank or a control character"), std::string::npos) << why;
    mail.to = {"a@example.com"};
    mail.attachments = {{"/nonexistent/fax.pdf", "fax.pdf", "application/pdf"}};
    EXPECT_FALSE(faxMailMessage(mail, why).has_value());
    EXPECT_EQ(why, "/nonexistent/fax.pdf cannot be read");
}

}  // namespace
}  // namespace pagelift
