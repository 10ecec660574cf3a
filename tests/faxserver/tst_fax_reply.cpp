// The reply check, the shell and sendfax forms of an answer, and what the
// print backend reads and decides.

#include "check.h"
#include "fax_backend.h"
#include "fax_reply.h"
#include "job_origin.h"

#include <array>
#include <vector>
#include <cstdio>
#include <sys/wait.h>

namespace corvane::fax {
std::ostream &operator<<(std::ostream &out, Outcome outcome) { return out << OutcomeName(outcome); }
std::ostream &operator<<(std::ostream &out, BackendStatus status) { return out << static_cast<int>(status); }
} // namespace corvane::fax

using namespace corvane::fax;

namespace {

std::string Reply(std::string_view number, std::string_view line3)
{
    return std::string(number) + "\r\n \r\n" + std::string(line3) + "\r\n \r\n";
}

// What /bin/sh makes of corvane-ask's output: the three values, NUL-separated.
std::string ThroughShell(const std::string &assignments)
{
    const std::string script = "/tmp/corvane-shell-XXXXXX";
    std::string path = script;
    const int fd = ::mkstemp(path.data());
    FILE *file = ::fdopen(fd, "w");
    std::fputs(assignments.c_str(), file);
    std::fclose(file);
    const std::string command = "sh -c '. \"$1\" && printf \"%s\\0%s\\0%s\" \"$FAX_NUMBER\" \"$FAX_RECIPIENT\" "
                                "\"$FAX_DESTINATION\"' sh " + path;
    FILE *pipe = ::popen(command.c_str(), "r");
    std::string out;
    std::array<char, 512> buffer{};
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        out.append(buffer.data(), n);
    ::pclose(pipe);
    ::unlink(path.c_str());
    return out;
}

} // namespace

TEST(answers_of_every_shape_are_taken)
{
    Answer typed = ParseReply(Reply("0301234567", " "));
    CHECK_EQ(typed.outcome, Outcome::Answered);
    CHECK_EQ(typed.destination.number, "0301234567");
    CHECK_EQ(typed.destination.recipient, "");

    Answer contact = ParseReply(Reply("0049301234", "Acme - (Smith, John)"));
    CHECK_EQ(contact.outcome, Outcome::Answered);
    CHECK_EQ(contact.destination.recipient, "Acme - (Smith, John)");

    Answer utf8 = ParseReply(Reply("1", "Müller, Jürgen \xF0\x9F\x93\xA0"));
    CHECK_EQ(utf8.outcome, Outcome::Answered);
    CHECK_EQ(utf8.destination.recipient, "Müller, Jürgen \xF0\x9F\x93\xA0");

    // The format allows an empty number; whoever faxes must check it.
    Answer empty = ParseReply(Reply("", "Smith, John"));
    CHECK_EQ(empty.outcome, Outcome::Answered);
    CHECK_EQ(empty.destination.number, "");

    // A reply that fills the limit exactly is still an answer.
    const std::string longest = Reply("1", std::string(kMaxReplyBytes - Reply("1", "").size(), 'x'));
    CHECK_EQ(longest.size(), kMaxReplyBytes);
    CHECK_EQ(ParseReply(longest).outcome, Outcome::Answered);
}

TEST(no_data_is_a_cancel)
{
    CHECK_EQ(ParseReply("").outcome, Outcome::Cancelled);
}

TEST(anything_but_four_checked_lines_is_malformed)
{
    const std::array<std::string, 19> bad = {
        "\r\n",                                // one empty line
        "123",                                 // no line end at all
        "123\n \n \n \n",                      // LF only
        "123\r\n \r\n \r\n \n",                // last line LF only
        "123\r\n \r\n \r\n \r",                // last line cut after CR
        "123\r\n \r\n \r\n",                   // three lines
        Reply("123", " ") + " \r\n",           // five lines
        Reply("123", " ") + "x",               // trailing bytes
        Reply("+49 30 1234", " "),             // number with more than digits
        Reply("12\xD9\xA3", " "),              // non-ASCII digit
        "123\r\n\r\n \r\n \r\n",               // line 2 empty
        "123\r\n  \r\n \r\n \r\n",             // line 2 two blanks
        "123\r\n \r\n \r\nx\r\n",              // line 4 not a blank
        Reply("123", ""),                      // line 3 empty
        Reply("123", "Smith,\tJohn"),          // C0 control
        Reply("123", "Smith\x7F"),             // DEL
        Reply("123", "Smith\xC2\x85John"),     // C1 control (NEL)
        Reply("123", "Smith\rJohn"),           // bare CR inside a line
        Reply("123", "Sm\xF4\x90\x80\x80ith"), // past U+10FFFF
    };
    for (const std::string &data : bad) {
        const Answer answer = ParseReply(data);
        if (answer.outcome != Outcome::Malformed)
            std::cerr << "taken as " << answer.outcome << ": " << data << '\n';
        CHECK_EQ(answer.outcome, Outcome::Malformed);
        CHECK(!answer.detail.empty());
        CHECK(answer.destination.number.empty());
    }
    const std::string tooLong = Reply("1", std::string(kMaxReplyBytes, 'x'));
    CHECK_EQ(ParseReply(tooLong).outcome, Outcome::Malformed);
}

TEST(a_line_3_that_is_not_utf8_is_read_in_a_legacy_code_page)
{
    struct Case {
        std::string line3;
        std::string codePage;
        std::string recipient; // empty: malformed
    };
    const std::vector<Case> cases = {
        {"M\xC3\xBCller", "CP1252", "Müller"},                  // UTF-8 is taken as it is
        {"M\xFCller \x80", "CP1252", "Müller €"},                // the default code page
        {"Sm\xC3", "CP1252", "SmÃ"},                           // a cut UTF-8 sequence
        {"Sm\xC0\xAFith", "CP1252", "SmÀ¯ith"},                 // an overlong form
        {"Sm\xED\xA0\x80ith", "CP1252", "Smí\xC2\xA0€ith"},     // a surrogate
        {"\xCF\xE5\xF2\xF0\xEE\xE2", "CP1251", "Петров"},        // another code page
        {"M\x81ller", "CP1252", ""},                            // a byte it lacks
        {"M\xFCller\x7F", "CP1252", ""},                        // a control character
    };
    for (const Case &c : cases) {
        const Answer answer = ParseReply(Reply("1", c.line3), c.codePage);
        CHECK_EQ(answer.outcome, c.recipient.empty() ? Outcome::Malformed : Outcome::Answered);
        CHECK_EQ(answer.destination.recipient, c.recipient);
    }
}

TEST(shell_assignments_give_back_exactly_what_came)
{
    const Destination nasty{"0301234567", "O'Brien; $(touch /tmp/x) `id` \"q\" \\ $HOME * Müller@Straße"};
    const std::string values = ThroughShell(ShellAssignments(nasty));
    const std::string expected = nasty.number + '\0' + nasty.recipient + '\0' + SendfaxDestination(nasty);
    CHECK_EQ(values, expected);

    const Destination typed{"12", ""};
    CHECK_EQ(ThroughShell(ShellAssignments(typed)), std::string("12\0\0" "12", 6));
}

TEST(sendfax_destination_splits_at_the_number)
{
    // sendfax takes everything after the first "@" as the dial string.
    const Destination at{"0301234567", "Info@Acme @ Home"};
    const std::string argument = SendfaxDestination(at);
    CHECK_EQ(argument.find('@'), argument.rfind('@'));
    CHECK_EQ(argument.substr(argument.find('@') + 1), "0301234567");
    CHECK_EQ(argument.substr(0, argument.find('@')), "Info\xEF\xBC\xA0" "Acme \xEF\xBC\xA0 Home");

    CHECK_EQ(SendfaxDestination({"0301234567", ""}), "0301234567");
    CHECK_EQ(SendfaxDestination({"5", "Smith, John"}), "Smith, John@5");

    // The server reads the name between double quotes, where a backslash
    // escapes and sendfax leaves a closing quote bare.
    CHECK_EQ(SendfaxSafeName("Acme \"HQ\""), "Acme \xEF\xBC\x82HQ\xEF\xBC\x82");
    CHECK_EQ(SendfaxSafeName("C:\\Fax\\"), "C:\xEF\xBC\xBC" "Fax\xEF\xBC\xBC");
    CHECK_EQ(SendfaxSafeName("  Smith, John "), "Smith, John");
    CHECK_EQ(SendfaxDestination({"5", "  "}), "5");
}

TEST(desktop_host_from_originating_host_name)
{
    CHECK_EQ(DesktopHost("localhost"), "localhost");
    CHECK_EQ(DesktopHost("192.0.2.7"), "192.0.2.7");
    CHECK_EQ(DesktopHost("pc17.example.org"), "pc17.example.org");
    CHECK_EQ(DesktopHost("[v1.2001:db8::7]"), "2001:db8::7");
    CHECK_EQ(DesktopHost("[2001:db8::7]"), "2001:db8::7");
    // A link-local address keeps its zone, in the resolver's form.
    CHECK_EQ(DesktopHost("[v1.fe80::2+eth0]"), "fe80::2%eth0");
}

TEST(device_uri_settings)
{
    std::string why;
    const auto plain = ParseDeviceUri("corvane-fax:/", why);
    CHECK(plain.has_value());
    CHECK_EQ(plain->port, 5555);
    CHECK_EQ(plain->answerTimeout.count(), 300'000);
    CHECK_EQ(plain->hylafaxHost, "");

    const auto set = ParseDeviceUri("corvane-fax:/?port=15555&timeout=60&connect-timeout=3&hylafax=fax1:4559", why);
    CHECK(set.has_value());
    CHECK_EQ(set->port, 15555);
    CHECK_EQ(set->answerTimeout.count(), 60'000);
    CHECK_EQ(set->connectTimeout.count(), 3'000);
    CHECK_EQ(set->hylafaxHost, "fax1:4559");

    const auto local = ParseDeviceUri("corvane-fax:/?allow-local=yes&notify=no&mail-domain=example.org&name-user=no", why);
    CHECK(local.has_value());
    CHECK(local->allowLocal);
    CHECK(!local->notify);
    CHECK(!local->nameUser);
    CHECK(plain->nameUser);
    CHECK_EQ(local->mailDomain, "example.org");
    CHECK(!plain->allowLocal);
    CHECK(plain->notify);

    // The longest times allowed are taken; one past them is refused, never
    // wrapped round to a timeout at once.
    const auto longest = ParseDeviceUri("corvane-fax:/?timeout=86400&connect-timeout=600", why);
    CHECK(longest.has_value());
    CHECK_EQ(longest->answerTimeout.count(), 86'400'000);

    for (const char *bad : {"socket://x", "corvane-fax:/?port=0", "corvane-fax:/?port=99999",
                            "corvane-fax:/?timeout=-1", "corvane-fax:/?timeout=5s", "corvane-fax:/?colour=red",
                            "corvane-fax:/?timeout=86401", "corvane-fax:/?timeout=9223372036854775",
                            "corvane-fax:/?connect-timeout=601", "corvane-fax:/?allow-local=maybe",
                            "corvane-fax:/?mail-domain=evil.example%0Abcc", "corvane-fax:/?mail-domain=a@b"}) {
        why.clear();
        CHECK(!ParseDeviceUri(bad, why));
        CHECK(!why.empty());
    }
}

TEST(only_a_confirmed_number_is_faxed)
{
    Answer answered;
    answered.outcome = Outcome::Answered;
    answered.destination = {"0301234567", "Smith, John"};
    const Verdict fax = Decide(answered, "pc17");
    CHECK(fax.fax);
    CHECK_EQ(fax.status, BackendStatus::Ok);

    Answer noNumber = answered;
    noNumber.destination.number.clear();
    CHECK(!Decide(noNumber, "pc17").fax);
    CHECK_EQ(Decide(noNumber, "pc17").status, BackendStatus::Cancel);

    // Each other outcome: its status (only a passing one is retried: in a
    // class, a failed job would be asked again at once on another queue), a
    // log line that names the desktop or the cause, and a state message that
    // names neither.
    const std::array<std::pair<Outcome, BackendStatus>, 4> policy = {{
        {Outcome::Cancelled, BackendStatus::Cancel},
        {Outcome::TimedOut, BackendStatus::Cancel},
        {Outcome::Unreachable, BackendStatus::Retry},
        {Outcome::Malformed, BackendStatus::Cancel},
    }};
    for (const auto &[outcome, status] : policy) {
        Answer answer;
        answer.outcome = outcome;
        answer.destination = {"0301234567", "Smith, John"}; // must be ignored
        answer.detail = "because of pc17";
        const Verdict verdict = Decide(answer, "pc17");
        CHECK(!verdict.fax);
        CHECK_EQ(verdict.status, status);
        CHECK(verdict.report.detail.find("pc17") != std::string::npos);
        CHECK(verdict.report.shown.find("pc17") == std::string::npos);
        CHECK(verdict.report.level == "ERROR" || verdict.report.level == "WARNING");
        // The shown line comes last: it is the one the scheduler keeps.
        const std::string lines = ReportLines(verdict.report);
        CHECK(lines.ends_with(verdict.report.level + ": " + verdict.report.shown + "\n"));
    }
}

TEST(long_names_are_cut_to_fit_at_a_character_boundary)
{
    struct Case {
        std::string name;
        bool cut;
    };
    const std::string umlauts = [] {
        std::string text;
        for (int i = 0; i < 300; ++i)
            text += "\xC3\x9C"; // U+00DC, two bytes
        return text;
    }();
    const std::vector<Case> cases = {
        {std::string(kMaxSendfaxNameBytes, 'x'), false},
        {std::string(kMaxSendfaxNameBytes + 1, 'x'), true},
        {umlauts, true},
        {"x" + umlauts, true},
        {std::string(kMaxSendfaxNameBytes - 5, 'x') + "     tail", true},
        {std::string(4000, '@'), true},
    };
    for (const Case &c : cases) {
        const std::string safe = SendfaxSafeName(c.name);
        CHECK(safe.size() <= kMaxSendfaxNameBytes);
        CHECK(IsOneLineOfText(safe)); // no character split in two
        CHECK_EQ(safe.ends_with(kCutMark), c.cut);
        if (c.cut) {
            const std::string kept = safe.substr(0, safe.size() - kCutMark.size());
            CHECK(!kept.ends_with(' '));
            CHECK(SendfaxSafeName(c.name.substr(0, kept.size() + 3)).starts_with(kept));
        }
    }
}

TEST(format_characters_are_escaped_in_log_lines)
{
    const std::array<std::pair<std::string, std::string>, 5> cases = {{
        {"Acme \xE2\x80\xAE" "fdp.exe", "Acme <U+202E>fdp.exe"},           // right-to-left override
        {"line\xE2\x80\xA8" "two", "line<U+2028>two"},                     // line separator
        {"zero\xE2\x80\x8Bwidth\xEF\xBB\xBF", "zero<U+200B>width<U+FEFF>"}, // invisible
        {"tab\there\x1B[2J", "tab<U+0009>here<U+001B>[2J"},
        {"M\xFCller", "M\\xFCller"}, // not UTF-8
    }};
    for (const auto &[text, printable] : cases)
        CHECK_EQ(Printable(text), printable);
    CHECK_EQ(Printable("Müller, Jürgen \xF0\x9F\x93\xA0"), "Müller, Jürgen \xF0\x9F\x93\xA0");
}

TEST(owners_hylafax_takes_and_notices_only_where_the_administrator_allows)
{
    const std::array<std::pair<std::string, std::string>, 7> owners = {{
        {"alice", "alice"},
        {"j.smith-2_x", "j.smith-2_x"},
        {"John Smith", "John_Smith"},
        {"back\\", "back_"},
        {"mallory@evil.example", "mallory_evil.example"},
        {"-x", "_x"},
        {"", "_"},
    }};
    for (const auto &[user, owner] : owners)
        CHECK_EQ(HylafaxOwner(user), owner);
    CHECK_EQ(HylafaxOwner(std::string(100, 'a')).size(), 64u);

    BackendSettings settings;
    CHECK_EQ(NoticeAddress("alice", settings, true), "alice");
    CHECK_EQ(NoticeAddress("mallory_evil.example", settings, false), "");
    settings.mailDomain = "example.org";
    CHECK_EQ(NoticeAddress("mallory_evil.example", settings, false), "mallory_evil.example@example.org");
    settings.notify = false;
    CHECK_EQ(NoticeAddress("alice", settings, true), "");
}

TEST(a_fax_counts_as_queued_only_with_hylafax_job_number)
{
    CHECK_EQ(SendfaxRequestId("request id is 17 (group id 17) for host localhost (1 file)\n"), "17");
    CHECK_EQ(SendfaxRequestId("request id is 9\n"), "9");
    CHECK_EQ(SendfaxRequestId("request id is ?\n"), "");
    CHECK_EQ(SendfaxRequestId("request id is 12abc\n"), "");
    CHECK_EQ(SendfaxRequestId("sendfax: Unable to connect\n"), "");
}

TEST(the_origin_is_read_from_the_scheduler_reply)
{
    // The request names the job and asks as its owner.
    const std::string request = JobAttributesRequest(42, "alice");
    CHECK(request.find("ipp://localhost/jobs/42") != std::string::npos);
    CHECK(request.find("alice") != std::string::npos);

    // A reply as the scheduler writes it, with an attribute of the same
    // name in another group and one with a look-alike name before it.
    auto attribute = [](char tag, std::string_view name, std::string_view value) {
        std::string out(1, tag);
        out += static_cast<char>(name.size() >> 8);
        out += static_cast<char>(name.size() & 0xFF);
        out += name;
        out += static_cast<char>(value.size() >> 8);
        out += static_cast<char>(value.size() & 0xFF);
        out += value;
        return out;
    };
    std::string reply("\x02\x00\x00\x00\x00\x00\x00\x01\x01", 9);
    reply += attribute('\x47', "attributes-charset", "utf-8");
    reply += '\x02';
    reply += attribute('\x42', "x job-originating-host-name", "192.0.2.66");
    reply += attribute('\x45', "job-uuid", "urn:uuid:1");
    reply += attribute('\x42', "job-originating-host-name", "192.0.2.7");
    reply += '\x03';
    const auto attributes = ResponseAttributes(reply);
    CHECK(attributes.has_value());
    const auto origin = OriginIn(*attributes);
    CHECK(origin.has_value());
    CHECK_EQ(origin->host, "192.0.2.7");
    CHECK(!origin->namedByClient);

    // Before the UUID, the origin is one a client named.
    Attributes named = *attributes;
    std::swap(named[2], named[3]);
    CHECK(OriginIn(named)->namedByClient);
    // Two values, or none, tell nothing.
    named.push_back({"", "192.0.2.8"});
    named.back().first = "job-originating-host-name";
    CHECK(!OriginIn(named));
    CHECK(!OriginIn({}));

    std::string refused = reply;
    refused[2] = '\x04'; // client-error-forbidden
    CHECK(!ResponseAttributes(refused));
    CHECK(!ResponseAttributes(reply.substr(0, reply.size() - 5)));
}

TEST(this_machine_is_recognised)
{
    for (const char *local : {"localhost", "127.0.0.1", "127.1.2.3", "::1", "0.0.0.0"})
        CHECK(IsThisMachine(local));
    for (const char *remote : {"192.0.2.7", "2001:db8::7", "no-such-desktop.invalid"})
        CHECK(!IsThisMachine(remote));
}

int main(int argc, char **argv) { return RUN_TESTS(argc, argv); }
