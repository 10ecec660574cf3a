// The reply check, the shell and sendfax forms of an answer, and what the
// print backend reads and decides.

#include "check.h"
#include "fax_backend.h"
#include "fax_reply.h"

#include <array>
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
    const std::array<std::string, 22> bad = {
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
        Reply("123", "Sm\xC3"),                // cut UTF-8 sequence
        Reply("123", "Sm\xC0\xAFith"),         // overlong form
        Reply("123", "Sm\xED\xA0\x80ith"),     // surrogate
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

TEST(job_options_are_read_as_the_print_system_writes_them)
{
    const std::string options = "finishings=3 number-up=1 job-uuid=urn:uuid:026a7826 "
                                "job-originating-host-name=192.0.2.7 date-time-at-creation= "
                                "job-name='Q3 report' note=\"say \\\"hi\\\"\" a\\ b=c media-col={x=1 y={z=2}} "
                                "fake-job-originating-host-name=evil tail=last";
    CHECK_EQ(JobOption(options, "job-originating-host-name").value_or("?"), "192.0.2.7");
    CHECK_EQ(JobOption(options, "job-name").value_or("?"), "Q3 report");
    CHECK_EQ(JobOption(options, "note").value_or("?"), "say \"hi\"");
    CHECK_EQ(JobOption(options, "date-time-at-creation").value_or("?"), "");
    CHECK_EQ(JobOption(options, "media-col").value_or("?"), "{x=1 y={z=2}}");
    CHECK_EQ(JobOption(options, "tail").value_or("?"), "last");
    CHECK(!JobOption(options, "job-originating-user-name"));
    CHECK(!JobOption("", "job-originating-host-name"));
}

TEST(desktop_host_from_originating_host_name)
{
    CHECK_EQ(DesktopHost("localhost"), "localhost");
    CHECK_EQ(DesktopHost("192.0.2.7"), "192.0.2.7");
    CHECK_EQ(DesktopHost("pc17.example.org"), "pc17.example.org");
    CHECK_EQ(DesktopHost("[v1.2001:db8::7]"), "2001:db8::7");
    CHECK_EQ(DesktopHost("[2001:db8::7]"), "2001:db8::7");
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

    for (const char *bad : {"socket://x", "corvane-fax:/?port=0", "corvane-fax:/?port=99999",
                            "corvane-fax:/?timeout=-1", "corvane-fax:/?timeout=5s", "corvane-fax:/?colour=red"}) {
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

    // Each other outcome: its status, and a log line that names the desktop or the cause.
    const std::array<std::pair<Outcome, BackendStatus>, 4> policy = {{
        {Outcome::Cancelled, BackendStatus::Cancel},
        {Outcome::TimedOut, BackendStatus::Cancel},
        {Outcome::Unreachable, BackendStatus::Retry},
        {Outcome::Malformed, BackendStatus::Failed},
    }};
    for (const auto &[outcome, status] : policy) {
        Answer answer;
        answer.outcome = outcome;
        answer.destination = {"0301234567", "Smith, John"}; // must be ignored
        answer.detail = "because of pc17";
        const Verdict verdict = Decide(answer, "pc17");
        CHECK(!verdict.fax);
        CHECK_EQ(verdict.status, status);
        CHECK(verdict.logLine.find("pc17") != std::string::npos);
        CHECK(verdict.logLine.starts_with("ERROR: ") || verdict.logLine.starts_with("WARNING: "));
    }
}

int main(int argc, char **argv) { return RUN_TESTS(argc, argv); }
