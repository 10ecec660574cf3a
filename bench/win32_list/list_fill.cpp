// Ways of filling the dialog's list box with 32,766 contacts under Wine (or
// Windows), timed: the list box made as the dialog makes it, shown, with
// redraw off while it fills. (With redraw left on, 2,000 entries took 9 s
// under Wine: not a way at all.) Prints "way<TAB>median ms<TAB>min<TAB>max".
//   list_fill.exe [RUNS] [ENTRIES]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

struct Entry {
    std::wstring text;
    LPARAM data;
};

// Names as an address book holds them: mixed case, some accents, repeats.
std::vector<Entry> Names(int count)
{
    const wchar_t *last[] = {L"M\u00fcller", L"schmidt", L"Meier", L"\u00d6zt\u00fcrk", L"Brown", L"van Dijk",
                             L"Nowak", L"de la Cruz", L"Zhang", L"\u00c5berg", L"O'Neil", L"smith"};
    const wchar_t *first[] = {L"Ann", L"bob", L"\u00c9lodie", L"Jo", L"Zo\u00eb", L"Paul", L"Li", L"Eva"};
    std::mt19937 random(17);
    std::vector<Entry> names;
    for (int i = 0; i < count; ++i) {
        std::wstring text = std::wstring(last[random() % 12]) + std::to_wstring(random() % 5000) + L", "
            + first[random() % 8];
        names.push_back({std::move(text), LPARAM(i + 1)});
    }
    return names;
}

HWND MakeList()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND window = CreateWindowExW(0, L"STATIC", L"fill", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 400, nullptr,
                                  nullptr, instance, nullptr);
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                                WS_CHILD | WS_VISIBLE | LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL,
                                10, 10, 300, 300, window, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    return list;
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Batch(HWND list, const std::function<void()> &fill)
{
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    fill();
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void AddEach(HWND list, const std::vector<Entry> &entries)
{
    for (const Entry &entry : entries) {
        const LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, LPARAM(entry.text.c_str()));
        SendMessageW(list, LB_SETITEMDATA, WPARAM(index), entry.data);
    }
}

void InsertEach(HWND list, const std::vector<Entry> &entries)
{
    for (const Entry &entry : entries) {
        const LRESULT index = SendMessageW(list, LB_INSERTSTRING, WPARAM(-1), LPARAM(entry.text.c_str()));
        SendMessageW(list, LB_SETITEMDATA, WPARAM(index), entry.data);
    }
}

void Reserve(HWND list, const std::vector<Entry> &entries)
{
    size_t chars = 0;
    for (const Entry &entry : entries)
        chars += entry.text.size() + 1;
    SendMessageW(list, LB_INITSTORAGE, WPARAM(entries.size()), LPARAM(chars * sizeof(wchar_t)));
}

std::vector<Entry> ReadBack(HWND list)
{
    const int count = int(SendMessageW(list, LB_GETCOUNT, 0, 0));
    std::vector<Entry> entries;
    entries.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        std::wstring text(size_t(SendMessageW(list, LB_GETTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
        text.resize(size_t(SendMessageW(list, LB_GETTEXT, WPARAM(i), LPARAM(text.data()))));
        entries.push_back({std::move(text), SendMessageW(list, LB_GETITEMDATA, WPARAM(i), 0)});
    }
    return entries;
}
} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const int count = argc > 2 ? std::atoi(argv[2]) : 32766;
    HWND list = MakeList();
    const std::vector<Entry> names = Names(count);
    // Sorted as the list sorts: ignoring case, in the user's language.
    std::vector<Entry> sorted = names;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Entry &a, const Entry &b) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.text.c_str(), -1, b.text.c_str(), -1)
            == CSTR_LESS_THAN;
    });

    struct Way {
        const char *name;
        std::function<void()> run;
        bool slow = false; // run once: it takes minutes under Wine
    };
    const Way ways[] = {
        {"presorted, each inserted at the end (LB_INSERTSTRING)", [&] { Batch(list, [&] { InsertEach(list, sorted); }); }},
        {"presorted, room made first (LB_INITSTORAGE), each inserted at the end",
         [&] { Batch(list, [&] { Reserve(list, sorted); InsertEach(list, sorted); }); }},
        {"presorted, each added (LB_ADDSTRING)", [&] { Batch(list, [&] { AddEach(list, sorted); }); }, true},
        {"each added, the list sorting (LB_ADDSTRING)", [&] { Batch(list, [&] { AddEach(list, names); }); }, true},
    };
    std::printf("way\tmedian ms\tmin\tmax\n");
    for (const Way &way : ways) {
        std::vector<double> times;
        for (int run = 0; run < (way.slow ? 1 : runs); ++run) {
            SendMessageW(list, LB_RESETCONTENT, 0, 0);
            Pump();
            const auto start = Clock::now();
            way.run();
            Pump();
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            if (SendMessageW(list, LB_GETCOUNT, 0, 0) != LRESULT(sorted.size()))
                std::printf("%s: entries missing\n", way.name);
        }
        std::sort(times.begin(), times.end());
        std::printf("%s\t%.1f\t%.1f\t%.1f\n", way.name, times[times.size() / 2], times.front(), times.back());
        std::fflush(stdout);
    }
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        (void)ReadBack(list);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("reading every entry back (text and number)\t%.1f\t%.1f\t%.1f\n", times[times.size() / 2],
                times.front(), times.back());
    return 0;
}
