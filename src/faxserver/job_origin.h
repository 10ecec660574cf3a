#pragma once
// What the print scheduler itself recorded for a job, read back from it over
// IPP (Get-Job-Attributes): the address of the connection that submitted the
// job. The job's option string (the backend's argv[5]) is no source for it:
// a printing user adds to that string at will.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::fax {

// The Get-Job-Attributes request for JOB, asked as USER (the job's owner,
// whom the scheduler shows the job's private attributes).
std::string JobAttributesRequest(int job, std::string_view user);

// The attributes of an IPP response (the body, after the HTTP header), in
// their order, one pair per value; nullopt when the response is not a
// successful IPP response.
using Attributes = std::vector<std::pair<std::string, std::string>>;
std::optional<Attributes> ResponseAttributes(std::string_view response);

// Where a job came from, as the scheduler tells it.
struct JobOrigin {
    std::string host;
    // The scheduler adds the origin after the job's UUID. One that comes
    // before it is one a client named: the scheduler lets a client on its
    // own machine do so (a gateway passing on its clients' jobs).
    bool namedByClient = false;
};
std::optional<JobOrigin> OriginIn(const Attributes &attributes);

// Asks the scheduler at SERVER (a socket path, or HOST[:PORT]; empty: the
// system's) where JOB came from. Nullopt and WHY when it cannot tell.
std::optional<JobOrigin> AskJobOrigin(const std::string &server, int job, std::string_view user, std::string &why);

// True when HOST (as DesktopHost returns it) is this machine: a loopback
// address, "localhost", or an address of one of this machine's interfaces.
bool IsThisMachine(const std::string &host);

} // namespace corvane::fax
