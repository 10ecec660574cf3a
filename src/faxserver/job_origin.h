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

// The values of NAME in an IPP response (the body, after the HTTP header);
// nullopt when the response is not a successful IPP response.
std::optional<std::vector<std::string>> ResponseValues(std::string_view response, std::string_view name);

// Asks the scheduler at SERVER (a socket path, or HOST[:PORT]; empty: the
// system's) for the job-originating-host-name of JOB. Nullopt and WHY when
// it cannot tell.
std::optional<std::string> JobOriginatingHost(const std::string &server, int job, std::string_view user,
                                              std::string &why);

// True when HOST (as DesktopHost returns it) is this machine: a loopback
// address, "localhost", or an address of one of this machine's interfaces.
bool IsThisMachine(const std::string &host);

} // namespace corvane::fax
