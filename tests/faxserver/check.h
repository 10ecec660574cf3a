#pragma once
// A few lines of test harness, so the fax server's tests need no Qt:
// TEST(name) { CHECK(...); CHECK_EQ(a, b); } and RUN_TESTS() in main.

#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace check {

struct Case {
    const char *name;
    std::function<void()> body;
};
inline std::vector<Case> &Cases()
{
    static std::vector<Case> cases;
    return cases;
}
inline int &Failures()
{
    static int failures = 0;
    return failures;
}
struct Register {
    Register(const char *name, std::function<void()> body) { Cases().push_back({name, std::move(body)}); }
};
inline void Fail(const char *file, int line, const std::string &what)
{
    ++Failures();
    std::cerr << file << ':' << line << ": FAIL: " << what << '\n';
}
// Runs every case, or those whose names are given; 0 when all passed.
inline int Run(int argc, char **argv)
{
    int ran = 0;
    for (const Case &c : Cases()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || c.name == std::string(argv[i]);
        if (!wanted)
            continue;
        const int before = Failures();
        c.body();
        ++ran;
        std::cout << (Failures() == before ? "PASS   " : "FAIL!  ") << c.name << '\n';
    }
    std::cout << ran << " cases, " << Failures() << " failed checks\n";
    return Failures() == 0 && ran > 0 ? 0 : 1;
}

} // namespace check

#define CHECK_CONCAT2(a, b) a##b
#define CHECK_CONCAT(a, b) CHECK_CONCAT2(a, b)
#define TEST(name)                                                                             \
    static void name();                                                                        \
    static check::Register CHECK_CONCAT(register_, name)(#name, name);                         \
    static void name()
#define CHECK(condition)                                                                       \
    do {                                                                                       \
        if (!(condition))                                                                      \
            check::Fail(__FILE__, __LINE__, #condition);                                       \
    } while (0)
#define CHECK_EQ(actual, expected)                                                             \
    do {                                                                                       \
        const auto &check_a = (actual);                                                        \
        const auto &check_e = (expected);                                                      \
        if (!(check_a == check_e)) {                                                           \
            std::ostringstream check_out;                                                      \
            check_out << #actual << " is [" << check_a << "], expected [" << check_e << "]";   \
            check::Fail(__FILE__, __LINE__, check_out.str());                                  \
        }                                                                                      \
    } while (0)
#define RUN_TESTS(argc, argv) check::Run(argc, argv)
#include <sstream>
