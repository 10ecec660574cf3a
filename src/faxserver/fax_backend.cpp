#include "fax_backend.h"

#include <charconv>

namespace corvane::fax {
namespace {

std::optional<long> Number(std::string_view text)
{
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}


} // namespace

std::string DesktopHost(std::string_view originatingHost)
{
    std::string_view host = originatingHost;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        if (host.starts_with("v1."))
            host.remove_prefix(3);
        // A link-local address comes with its zone after "+" (as in a URI);
        // the resolver takes it after "%".
        std::string address(host);
        if (const std::size_t plus = address.rfind('+'); plus != std::string::npos)
            address[plus] = '%';
        return address;
    }
    return std::string(host);
}

std::optional<BackendSettings> ParseDeviceUri(std::string_view uri, std::string &why)
{
    constexpr std::string_view kScheme = "corvane-fax:";
    if (!uri.starts_with(kScheme)) {
        why = "the device URI does not start with " + std::string(kScheme);
        return std::nullopt;
    }
    BackendSettings settings;
    const std::size_t question = uri.find('?');
    if (question == std::string_view::npos)
        return settings;
    std::string_view query = uri.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue;
        const std::size_t eq = pair.find('=');
        const std::string_view key = pair.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        const auto number = Number(value);
        const bool yes = value == "yes" || value == "true" || value == "1";
        const bool no = value == "no" || value == "false" || value == "0";
        if (key == "port" && number && *number > 0 && *number < 65536) {
            settings.port = static_cast<int>(*number);
        } else if (key == "timeout" || key == "connect-timeout") {
            const long most = key == "timeout" ? kMaxAnswerSeconds : kMaxConnectSeconds;
            if (!number || *number < 1 || *number > most) {
                why = "bad setting in the device URI: " + std::string(pair) + " (seconds from 1 to "
                    + std::to_string(most) + ")";
                return std::nullopt;
            }
            (key == "timeout" ? settings.answerTimeout : settings.connectTimeout) = std::chrono::seconds(*number);
        } else if ((key == "allow-local" || key == "notify" || key == "name-user") && (yes || no)) {
            (key == "allow-local" ? settings.allowLocal : key == "notify" ? settings.notify : settings.nameUser) = yes;
        } else if (key == "mail-domain" && !value.empty() && value.size() <= 253
                   && value.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-")
                       == std::string_view::npos) {
            settings.mailDomain = std::string(value);
        } else if (key == "hylafax" && !value.empty()
                   && value.find_first_of(" \t\r\n") == std::string_view::npos) {
            settings.hylafaxHost = std::string(value);
        } else {
            why = "bad setting in the device URI: " + std::string(pair);
            return std::nullopt;
        }
    }
    return settings;
}

std::string ReportLines(const Report &report)
{
    return report.level + ": " + report.detail + "\n" + report.level + ": " + report.shown + "\n";
}

Verdict Decide(const Answer &answer, std::string_view host)
{
    const std::string desktop = Printable(host);
    const std::string detail = Printable(answer.detail);
    switch (answer.outcome) {
    case Outcome::Answered:
        if (answer.destination.number.empty())
            return {false, BackendStatus::Cancel,
                    {"ERROR", "the desktop " + desktop + " answered without a fax number; nothing was sent",
                     "The desktop answered without a fax number; nothing was sent."}};
        return {true, BackendStatus::Ok, {}};
    case Outcome::Cancelled:
        return {false, BackendStatus::Cancel,
                {"WARNING", "the user at " + desktop + " cancelled the fax; nothing was sent",
                 "The sender cancelled the fax; nothing was sent."}};
    case Outcome::TimedOut:
        return {false, BackendStatus::Cancel,
                {"ERROR", detail + "; nothing was sent, print the document again to fax it",
                 "The sender did not answer in time; nothing was sent. Print the document again to fax it."}};
    case Outcome::Unreachable:
        return {false, BackendStatus::Retry,
                {"ERROR", detail + "; the job stays queued and the desktop is asked again later",
                 "The sender's desktop could not be asked; the job stays queued and is tried again later."}};
    case Outcome::Malformed:
        return {false, BackendStatus::Cancel,
                {"ERROR", "the desktop " + desktop + " sent a reply that is not an answer (" + detail + "); nothing was sent",
                 "The sender's desktop sent a reply that is not an answer; nothing was sent."}};
    }
    return {false, BackendStatus::Cancel, {"ERROR", "unknown outcome", "Unknown outcome; nothing was sent."}};
}

std::string HylafaxOwner(std::string_view user)
{
    std::string owner;
    for (char c : user.substr(0, 64)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
            || c == '_' || c == '-';
        owner += plain ? c : '_';
    }
    if (owner.empty())
        return "_";
    if (owner.front() == '-' || owner.front() == '.')
        owner.front() = '_';
    return owner;
}

std::string NoticeAddress(const std::string &owner, const BackendSettings &settings, bool isAccount)
{
    if (!settings.notify)
        return {};
    if (!settings.mailDomain.empty())
        return owner + "@" + settings.mailDomain;
    return isAccount ? owner : std::string();
}

std::string SendfaxRequestId(std::string_view output)
{
    constexpr std::string_view kRequest = "request id is ";
    const std::size_t at = output.find(kRequest);
    if (at == std::string_view::npos)
        return {};
    const std::size_t from = at + kRequest.size();
    std::size_t end = from;
    while (end < output.size() && output[end] >= '0' && output[end] <= '9')
        ++end;
    if (end == from || (end < output.size() && output[end] != ' ' && output[end] != '\n'))
        return {};
    return std::string(output.substr(from, end - from));
}

} // namespace corvane::fax
