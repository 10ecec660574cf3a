#pragma once
// The desktop's answer to "where does this fax go?", as the fax server reads
// it: four CR LF-ended lines, or nothing at all when the user cancelled.

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane::fax {

// The longest answer taken in, in bytes. A real one is the number, three
// line breaks, two blanks and a contact's one-line list text; 4096 bytes
// leaves that text some 4000 bytes, far beyond any address book's names.
// Anything longer is not an answer and is never read to its end.
inline constexpr std::size_t kMaxReplyBytes = 4096;

// What came of asking the desktop. The numeric values are corvane-ask's
// exit statuses.
enum class Outcome {
    Answered = 0,    // the user confirmed a destination
    Cancelled = 1,   // the connection closed without a byte
    Unreachable = 2, // refused (not running, or busy with another fax), no route, unknown host, lost
    TimedOut = 3,    // the user did not answer in time
    Malformed = 4,   // something came that is not an answer; never used as one
};

std::string_view OutcomeName(Outcome outcome);

struct Destination {
    std::string number;    // ASCII digits, possibly empty
    std::string recipient; // the contact's list text; empty for a typed number
};

struct Answer {
    Outcome outcome = Outcome::Malformed;
    Destination destination; // set when Answered
    std::string detail;      // why, for every outcome but Answered
};

// Reads a complete reply (everything up to end-of-stream). Yields Answered,
// Cancelled or Malformed only. Line 3 is taken as UTF-8 when it is valid
// UTF-8, and otherwise decoded from LEGACYCODEPAGE (an iconv name): a desktop
// may write it in its system's 8-bit code page.
inline constexpr std::string_view kDefaultLegacyCodePage = "CP1252";
Answer ParseReply(std::string_view data, const std::string &legacyCodePage = std::string(kDefaultLegacyCodePage));

// Whether CODEPAGE names a code page this system converts to UTF-8.
bool IsKnownCodePage(const std::string &codePage);

// UTF-8 text without control characters (C0, DEL, C1).
bool IsOneLineOfText(std::string_view text);

// TEXT for a log or status line: control and format characters (U+202E,
// U+2028, ...) as <U+XXXX>, bytes that are not UTF-8 as \xXX.
std::string Printable(std::string_view text);

// TEXT in single quotes, safe for a POSIX shell's eval or source.
std::string ShellQuote(std::string_view text);

// corvane-ask's standard output for an answer: FAX_NUMBER, FAX_RECIPIENT and
// FAX_DESTINATION assignments, one a line, each value shell-quoted.
std::string ShellAssignments(const Destination &destination);

// The recipient as sendfax can carry it in "-d name@number". sendfax splits
// that at the first "@", and passes the name to the server in double quotes
// without escaping a backslash or a closing quote at the end; so "@", '"' and
// "\" become their fullwidth forms (U+FF20, U+FF02, U+FF3C), which read the
// same, and blanks at either end go. The reply's check already keeps control
// characters out. A name longer than kMaxSendfaxNameBytes is cut at a
// character boundary and ends in kCutMark: sendfax hands the name to the
// HylaFAX server in one command line, which the server cuts after 511 bytes
// and whose remainder it would run as a command of its own.
inline constexpr std::size_t kMaxSendfaxNameBytes = 480;
inline constexpr std::string_view kCutMark = "\xE2\x80\xA6"; // U+2026, "..."
std::string SendfaxSafeName(std::string_view recipient);

// The argument for sendfax -d: "name@number", or the number alone.
std::string SendfaxDestination(const Destination &destination);

} // namespace corvane::fax
