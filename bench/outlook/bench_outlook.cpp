// Times the Outlook store against the Outlook stand-in, in and out of
// process, and counts the calls the stand-in receives for each step (round
// trips to Outlook, out of process): opening the Contacts folder, the first
// listing of a request (through Outlook's table), the word that the folder is
// unchanged at the next request, a selection's three fax numbers, and the
// listing item by item, as the store reads where the table cannot be had.
//
// bench_outlook [RUNS [in-process|out-of-process|both [N ...]]]: prints a
// tab-separated line per server, N and step: server, n, step, the median,
// least and greatest milliseconds of the runs, and the calls of the last run.
// The item-by-item listing runs once, and out of process only up to 1,000
// contacts (it costs tens of milliseconds a contact there).
#include "outlook_store.h"
#include "registration.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

void Check(HRESULT hr, const char *what)
{
    if (FAILED(hr)) {
        std::fprintf(stderr, "bench_outlook: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
        std::exit(1);
    }
}

// An application object of the stand-in's own, to ask how many calls it has
// received; it also keeps the out-of-process server up between runs.
class Counter {
public:
    Counter()
    {
        CLSID clsid;
        Check(CLSIDFromProgID(L"outlook.application", &clsid), "CLSIDFromProgID");
        Check(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void **>(&m_application)),
              "CoCreateInstance");
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"ReceivedCalls")};
        Check(m_application->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &m_id), "GetIDsOfNames");
    }
    ~Counter() { m_application->Release(); }
    long Calls()
    {
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        VARIANT result;
        VariantInit(&result);
        Check(m_application->Invoke(m_id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                    nullptr),
              "ReceivedCalls");
        return result.lVal;
    }

private:
    IDispatch *m_application = nullptr;
    DISPID m_id = DISPID_UNKNOWN;
};

struct Figures {
    double median, min, max;
    long calls;
};

// Runs the step `runs` times, each after its own preparation (not timed).
Figures Time(Counter &counter, int runs, const std::function<void()> &prepare, const std::function<void()> &step)
{
    std::vector<double> ms;
    long calls = 0;
    for (int run = 0; run < runs; ++run) {
        prepare();
        const long before = counter.Calls();
        const Clock::time_point start = Clock::now();
        step();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        calls = counter.Calls() - before;
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back(), calls};
}

std::wstring WriteContacts(int n, bool withoutTable)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"corvane-bench-" + std::to_wstring(GetCurrentProcessId()) + L"-"
                              + std::to_wstring(n) + (withoutTable ? L"-items" : L"") + L".tsv";
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    if (withoutTable)
        out << "!fail GetTable\n";
    for (int i = 1; i <= n; ++i)
        out << "40\tLast" << i << "\tFirst" << i << "\tCompany " << i % 97 << "\t+49 30 " << i << "\t\t\n";
    return path;
}
} // namespace

int wmain(int argc, wchar_t **argv)
{
    const int runs = argc > 1 ? _wtoi(argv[1]) : 5;
    const std::wstring servers = argc > 2 ? argv[2] : L"both";
    std::vector<int> sizes;
    for (int i = 3; i < argc; ++i)
        sizes.push_back(_wtoi(argv[i]));
    if (sizes.empty())
        sizes = {100, 5000, 32766};
    Check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx");
    standin::SetJournalFile({});
    std::printf("server\tn\tstep\tmedian_ms\tmin_ms\tmax_ms\tcalls\n");
    for (standin::Server server : {standin::Server::InProcess, standin::Server::OutOfProcess}) {
        const bool inProcess = server == standin::Server::InProcess;
        if (servers != L"both" && servers != (inProcess ? L"in-process" : L"out-of-process"))
            continue;
        standin::Register(server);
        const char *name = inProcess ? "in-process" : "out-of-process";
        for (int n : sizes) {
            const auto report = [&](const char *step, Figures f) {
                std::printf("%s\t%d\t%s\t%.1f\t%.1f\t%.1f\t%ld\n", name, n, step, f.median, f.min, f.max, f.calls);
                std::fflush(stdout);
            };
            const std::wstring contacts = WriteContacts(n, false);
            standin::SetContactsFile(contacts);
            Counter counter;
            std::unique_ptr<OutlookStore> store;
            std::unique_ptr<ContactsFolder> folder;
            std::vector<ContactItem> items;
            const auto open = [&] {
                folder.reset();
                store.reset();
                store = std::make_unique<OutlookStore>();
                folder = store->OpenDefaultContactsFolder();
            };
            report("open", Time(counter, runs, [&] { folder.reset(); store.reset(); }, open));
            report("first-listing", Time(counter, runs, open, [&] {
                       items.clear();
                       folder->ListItems(items);
                   }));
            if (items.size() != size_t(n)) {
                std::fprintf(stderr, "bench_outlook: listed %zu of %d\n", items.size(), n);
                return 1;
            }
            report("unchanged", Time(counter, runs, [] {}, [&] {
                       if (folder->ChangedSinceListing())
                           std::fprintf(stderr, "bench_outlook: the folder seems changed\n");
                   }));
            const auto select = [&](int32_t position) {
                for (FaxKind kind : {FaxKind::Business, FaxKind::Home, FaxKind::Other})
                    folder->FaxNumber(position, kind);
            };
            report("selection", Time(counter, runs, [&] { select(1); }, [&] { select(int32_t(n / 2 + 1)); }));
            folder.reset();
            store.reset();
            if (inProcess || n <= 1000) {
                const std::wstring itemByItem = WriteContacts(n, true);
                standin::SetContactsFile(itemByItem);
                report("item-by-item-listing", Time(counter, 1, open, [&] {
                           items.clear();
                           folder->ListItems(items);
                       }));
                folder.reset();
                store.reset();
                DeleteFileW(itemByItem.c_str());
            }
            DeleteFileW(contacts.c_str());
        }
    }
    standin::SetContactsFile({});
    standin::Unregister();
    CoUninitialize();
    return 0;
}
