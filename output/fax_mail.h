#pragma once

// A received fax as a mail message: a text part, and the fax's outputs
// attached, in MIME, for the system's sendmail to carry. Nothing a fax
// carries can add a header or a line to a header: every text that is not
// plain printable ASCII is encoded (RFC 2047 in headers, RFC 2231 in file
// names).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagelift {

struct MailAttachment {
    std::string path;             // the file whose bytes go with the mail
    std::string fileName;         // as the mail names it (UTF-8)
    std::string_view mimeType;    // "application/pdf"
};

struct FaxMail {
    std::string from;                      // an address
    std::vector<std::string> to;           // addresses
    std::string subject;                   // any text, UTF-8 (Latin-1 when not valid UTF-8)
    std::string body;                      // the same
    std::vector<MailAttachment> attachments;
    std::string date;                      // an RFC 5322 date ("Thu, 10 Dec 2026 09:15:00 +0100")
    std::string messageId;                 // "<unique@host>"
};

// The whole message, lines ended by '\n' as sendmail takes them on its
// standard input: its headers, a multipart/mixed body of a text/plain part
// (UTF-8, base64) and each attachment (base64, its type and name). None,
// with `why` saying so, when an attachment cannot be read or an address
// holds a blank or a control character.
std::optional<std::string> faxMailMessage(const FaxMail& mail, std::string& why);

// An RFC 5322 date of a time (seconds since 1970), in local time with its
// offset.
std::string mailDate(long long seconds);

// A header's value: the text as it is when it is printable ASCII without a
// run of blanks a mail program would fold away, else RFC 2047 encoded words
// of UTF-8 in base64, folded onto lines that fit.
std::string encodedHeaderText(std::string_view text);

}  // namespace pagelift
