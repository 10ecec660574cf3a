// corvane-ask: asks a desktop where a fax goes, for scripts on the fax server.

#include "desktop_query.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <getopt.h>

namespace {

constexpr int kUsageError = 64;

void PrintUsage(std::ostream &out)
{
    out << "Usage: corvane-ask [-p PORT] [-t SECONDS] [-c SECONDS] [-u USER] [-e CODEPAGE] HOST\n"
           "Asks the desktop HOST where a fax goes and prints FAX_NUMBER, FAX_RECIPIENT\n"
           "and FAX_DESTINATION as shell assignments.\n"
           "  -p, --port PORT              the desktop's port (default 5555)\n"
           "  -t, --timeout SECONDS        how long the user may take (default 300)\n"
           "  -c, --connect-timeout SECONDS  how long reaching the desktop may take (default 10)\n"
           "  -u, --user USER              the user the fax is for, named to a desktop that\n"
           "                               serves several users\n"
           "  -e, --encoding CODEPAGE      line 3's code page when it is not UTF-8\n"
           "                               (default CP1252; e.g. CP1250, CP1251, CP932)\n"
           "Exit status: 0 answered, 1 cancelled, 2 unreachable, refused or busy, 3 timed out,\n"
           "4 malformed reply, 64 usage error.\n";
}

bool ParseSeconds(const char *text, std::chrono::milliseconds &out)
{
    char *end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400.0 * 365)
        return false;
    out = std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    using namespace corvane::fax;
    Query query;
    static const option kOptions[] = {
        {"port", required_argument, nullptr, 'p'},
        {"timeout", required_argument, nullptr, 't'},
        {"connect-timeout", required_argument, nullptr, 'c'},
        {"user", required_argument, nullptr, 'u'},
        {"encoding", required_argument, nullptr, 'e'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    for (int option; (option = ::getopt_long(argc, argv, "p:t:c:u:e:h", kOptions, nullptr)) != -1;) {
        switch (option) {
        case 'p': {
            char *end = nullptr;
            const long port = std::strtol(optarg, &end, 10);
            if (end == optarg || *end != '\0' || port < 1 || port > 65535) {
                std::cerr << "corvane-ask: not a port: " << optarg << '\n';
                return kUsageError;
            }
            query.port = static_cast<int>(port);
            break;
        }
        case 't':
        case 'c':
            if (!ParseSeconds(optarg, option == 't' ? query.answerTimeout : query.connectTimeout)) {
                std::cerr << "corvane-ask: not a number of seconds: " << optarg << '\n';
                return kUsageError;
            }
            break;
        case 'u':
            if (!IsValidUserName(optarg)) {
                std::cerr << "corvane-ask: not a user name (UTF-8 text without control characters, at most "
                          << kMaxUserBytes << " bytes)\n";
                return kUsageError;
            }
            query.user = optarg;
            break;
        case 'e':
            if (!IsKnownCodePage(optarg)) {
                std::cerr << "corvane-ask: not a code page this system converts from: " << optarg << '\n';
                return kUsageError;
            }
            query.legacyCodePage = optarg;
            break;
        case 'h':
            PrintUsage(std::cout);
            return 0;
        default:
            PrintUsage(std::cerr);
            return kUsageError;
        }
    }
    if (optind != argc - 1 || argv[optind][0] == '\0') {
        PrintUsage(std::cerr);
        return kUsageError;
    }
    query.host = argv[optind];

    const Answer answer = AskDesktop(query);
    if (answer.outcome == Outcome::Answered)
        std::cout << ShellAssignments(answer.destination) << std::flush;
    else
        std::cerr << "corvane-ask: " << OutcomeName(answer.outcome) << ": " << answer.detail << '\n';
    return static_cast<int>(answer.outcome);
}
