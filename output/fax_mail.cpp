#include "output/fax_mail.h"

#include "imageout/pdf_syntax.h"
#include "platform/files.h"

#include <cstdio>
#include <ctime>
#include <random>

namespace pagelift {
namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Appends the Base64 form of the bytes to text.
void appendBase64(std::string& text, std::string_view bytes)
{
    size_t at = 0;
    for (; at + 3 <= bytes.size(); at += 3) {
        const uint32_t group = uint32_t(uint8_t(bytes[at])) << 16 | uint32_t(uint8_t(bytes[at + 1])) << 8 |
                               uint32_t(uint8_t(bytes[at + 2]));
        const char quad[4] = {kBase64[group >> 18], kBase64[(group >> 12) & 63], kBase64[(group >> 6) & 63],
                              kBase64[group & 63]};
        text.append(quad, 4);
    }
    if (at < bytes.size()) {
        const bool two = bytes.size() - at == 2;
        const uint32_t group = uint32_t(uint8_t(bytes[at])) << 16 | (two ? uint32_t(uint8_t(bytes[at + 1])) << 8 : 0);
        const char quad[4] = {kBase64[group >> 18], kBase64[(group >> 12) & 63], two ? kBase64[(group >> 6) & 63] : '=',
                              '='};
        text.append(quad, 4);
    }
}

std::string base64(std::string_view bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    appendBase64(text, bytes);
    return text;
}

// Base64 in lines of 76 characters, as MIME bodies carry it.
std::string base64Lines(std::string_view bytes)
{
    // 57 bytes make one full line; encoded in place, as an attachment of
    // several megabytes is otherwise copied line by line.
    constexpr size_t kLineBytes = 57;
    std::string lines;
    lines.reserve((bytes.size() + kLineBytes - 1) / kLineBytes * 77);
    for (size_t at = 0; at < bytes.size(); at += kLineBytes) {
        appendBase64(lines, bytes.substr(at, kLineBytes));
        lines += '\n';
    }
    return lines;
}

// The text as UTF-8: itself when it is valid UTF-8, else its bytes read as
// Latin-1 (as fax machines that send accented names write them).
std::string asUtf8(std::string_view text)
{
    if (utf8CodePoints(text)) return std::string(text);
    std::string utf8;
    for (const char c : text) {
        const uint8_t byte = uint8_t(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += char(0xC0 | (byte >> 6));
            utf8 += char(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

bool isPlainHeaderText(std::string_view text)
{
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c < 0x20 || c > 0x7E) return false;
        // "=?" could be read as the start of an encoded word.
        if (c == '=' && at + 1 < text.size() && text[at + 1] == '?') return false;
    }
    return text.empty() || (text.front() != ' ' && text.back() != ' ' && text.find("  ") == std::string_view::npos);
}

// RFC 2231's form of a parameter's value: UTF-8, every byte but letters,
// digits and a few marks percent-encoded.
std::string percentEncoded(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const uint8_t byte = uint8_t(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                           c == '.' || c == '-' || c == '_';
        if (plain) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

// A file name as a parameter: quoted when it is plain ASCII, else in RFC
// 2231's encoded form.
std::string fileNameParameter(const char* name, std::string_view fileName)
{
    const std::string utf8 = asUtf8(fileName);
    bool plain = !utf8.empty();
    for (const char c : utf8) plain = plain && c >= 0x20 && c <= 0x7E && c != '"' && c != '\\';
    if (plain) return std::string(name) + "=\"" + utf8 + "\"";
    return std::string(name) + "*=UTF-8''" + percentEncoded(utf8);
}

std::string boundary()
{
    std::random_device random;
    char text[64];
    std::snprintf(text, sizeof text, "=_pagelift_%08x%08x", unsigned(random()), unsigned(random()));
    return text;
}

}  // namespace

std::string encodedHeaderText(std::string_view text)
{
    if (isPlainHeaderText(text)) return std::string(text);
    // Encoded words of at most 75 characters: 12 of frame and 60 of base64
    // (45 bytes), cut between characters, never inside one.
    const std::string utf8 = asUtf8(text);
    std::string header;
    size_t at = 0;
    while (at < utf8.size()) {
        size_t end = std::min(at + 45, utf8.size());
        while (end < utf8.size() && end > at + 1 && (uint8_t(utf8[end]) & 0xC0) == 0x80) --end;
        if (!header.empty()) header += "\n ";
        header += "=?UTF-8?B?" + base64(std::string_view(utf8).substr(at, end - at)) + "?=";
        at = end;
    }
    return header;
}

std::string mailDate(long long seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return {};
    // Names of days and months in English whatever the locale.
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long offset = local.tm_gmtoff / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday % 7],
                  local.tm_mday, kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, offset < 0 ? '-' : '+', (offset < 0 ? -offset : offset) / 60,
                  (offset < 0 ? -offset : offset) % 60);
    return text;
}

std::optional<std::string> faxMailMessage(const FaxMail& mail, std::string& why)
{
    // Addresses come from the site's rules, not the fax; still, none may
    // carry a line break or a blank into the headers.
    std::vector<std::string> addresses = mail.to;
    addresses.push_back(mail.from);
    for (const std::string& address : addresses) {
        for (const char c : address) {
            if (uint8_t(c) <= 0x20 || uint8_t(c) == 0x7F) {
                why = "the address \"" + encodedHeaderText(address) + "\" holds a blank or a control character";
                return std::nullopt;
            }
        }
    }
    const std::string separator = boundary();
    std::string to;
    for (const std::string& address : mail.to) to += (to.empty() ? "" : ", ") + address;
    std::string message = "From: " + mail.from + "\nTo: " + to + "\nSubject: " + encodedHeaderText(mail.subject) +
                          "\nDate: " + mail.date + "\nMessage-ID: " + mail.messageId +
                          "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"" + separator + "\"\n\n";
    message += "This is a message in MIME format.\n\n--" + separator +
               "\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64\n\n" +
               base64Lines(asUtf8(mail.body));
    for (const MailAttachment& attachment : mail.attachments) {
        const std::optional<std::string> bytes = wholeFile(attachment.path);
        if (!bytes) {
            why = attachment.path + " cannot be read";
            return std::nullopt;
        }
        message += "\n--" + separator + "\nContent-Type: " + std::string(attachment.mimeType) + "; " +
                   fileNameParameter("name", attachment.fileName) + "\nContent-Disposition: attachment; " +
                   fileNameParameter("filename", attachment.fileName) + "\nContent-Transfer-Encoding: base64\n\n" +
                   base64Lines(*bytes);
    }
    return message + "\n--" + separator + "--\n";
}

}  // namespace pagelift
