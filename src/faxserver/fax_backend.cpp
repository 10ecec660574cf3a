#include "fax_backend.h"

#include <charconv>

namespace corvane::fax {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// One option value starting at TEXT[i]; moves I past it.
std::string TakeValue(std::string_view text, std::size_t &i)
{
    std::string value;
    while (i < text.size() && !IsBlank(text[i])) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            value += text[i + 1];
            i += 2;
        } else if (c == '\'' || c == '"') {
            ++i;
            while (i < text.size() && text[i] != c) {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                value += text[i++];
            }
            ++i;
        } else if (c == '{') {
            // A collection: kept whole, to its closing brace.
            int depth = 0;
            do {
                if (text[i] == '{')
                    ++depth;
                else if (text[i] == '}')
                    --depth;
                value += text[i++];
            } while (i < text.size() && depth > 0);
        } else {
            value += c;
            ++i;
        }
    }
    return value;
}

std::optional<long> Number(std::string_view text)
{
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string Log(std::string_view level, const std::string &text) { return std::string(level) + ": " + text; }

} // namespace

std::optional<std::string> JobOption(std::string_view options, std::string_view name)
{
    std::size_t i = 0;
    while (i < options.size()) {
        while (i < options.size() && IsBlank(options[i]))
            ++i;
        const std::size_t start = i;
        while (i < options.size() && !IsBlank(options[i]) && options[i] != '=')
            ++i;
        const std::string_view key = options.substr(start, i - start);
        if (i < options.size() && options[i] == '=') {
            ++i;
            std::string value = TakeValue(options, i);
            if (key == name)
                return value;
        } else if (key == name) {
            return std::string(); // a bare boolean option
        }
    }
    return std::nullopt;
}

std::string DesktopHost(std::string_view originatingHost)
{
    std::string_view host = originatingHost;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        if (host.starts_with("v1."))
            host.remove_prefix(3);
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
        if (key == "port" && number && *number > 0 && *number < 65536) {
            settings.port = static_cast<int>(*number);
        } else if (key == "timeout" && number && *number > 0) {
            settings.answerTimeout = std::chrono::seconds(*number);
        } else if (key == "connect-timeout" && number && *number > 0) {
            settings.connectTimeout = std::chrono::seconds(*number);
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

Verdict Decide(const Answer &answer, std::string_view host)
{
    const std::string desktop(host);
    switch (answer.outcome) {
    case Outcome::Answered:
        if (answer.destination.number.empty())
            return {false, BackendStatus::Cancel,
                    Log("ERROR", "the desktop " + desktop + " answered without a fax number; nothing was sent")};
        return {true, BackendStatus::Ok, {}};
    case Outcome::Cancelled:
        return {false, BackendStatus::Cancel,
                Log("WARNING", "the user at " + desktop + " cancelled the fax; nothing was sent")};
    case Outcome::TimedOut:
        return {false, BackendStatus::Cancel,
                Log("ERROR", answer.detail + "; nothing was sent, print the document again to fax it")};
    case Outcome::Unreachable:
        return {false, BackendStatus::Retry,
                Log("ERROR", answer.detail + "; the job stays queued and the desktop is asked again later")};
    case Outcome::Malformed:
        return {false, BackendStatus::Failed,
                Log("ERROR", "the desktop " + desktop + " sent a reply that is not an answer (" + answer.detail
                                 + "); nothing was sent")};
    }
    return {false, BackendStatus::Failed, Log("ERROR", "unknown outcome")};
}

} // namespace corvane::fax
