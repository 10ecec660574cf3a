// Times the listing of N contacts through the Outlook store, as the program
// lists them (a count, then per position the class and, for a contact, the
// three names), against the Outlook stand-in in and out of process; and, for
// comparison, reads of the same values in fewer calls, which the store does
// not make: the collection held and each item's values in one call, and the
// whole listing in one call.
//
// bench_outlook [RUNS [in-process|out-of-process|both [N ...]]]: prints a
// tab-separated line per server, N and way: server, n, way, and the median,
// least and greatest milliseconds of the runs.
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

VARIANT Call(IDispatch *object, const wchar_t *name, WORD kind, VARIANT *argument = nullptr)
{
    DISPID id;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    Check(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), "GetIDsOfNames");
    DISPPARAMS parameters = {argument, nullptr, argument ? 1u : 0u, 0};
    VARIANT result;
    VariantInit(&result);
    Check(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters, &result, nullptr, nullptr), "Invoke");
    return result;
}

IDispatch *Folder(IDispatch **application)
{
    CLSID clsid;
    Check(CLSIDFromProgID(L"outlook.application", &clsid), "CLSIDFromProgID");
    Check(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, IID_IDispatch,
                           reinterpret_cast<void **>(application)),
          "CoCreateInstance");
    VARIANT mapi;
    mapi.vt = VT_BSTR;
    mapi.bstrVal = SysAllocString(L"MAPI");
    VARIANT nameSpace = Call(*application, L"GetNamespace", DISPATCH_METHOD, &mapi);
    VariantClear(&mapi);
    VARIANT ten;
    ten.vt = VT_I4;
    ten.lVal = 10;
    VARIANT folder = Call(nameSpace.pdispVal, L"GetDefaultFolder", DISPATCH_METHOD, &ten);
    VariantClear(&nameSpace);
    return folder.pdispVal;
}

// The store's own listing, as the program runs it.
void StoreListing(ContactsFolder &folder)
{
    const int32_t count = folder.Count();
    for (int32_t position = 1; position <= count; ++position)
        folder.Item(position);
}

// The collection fetched once and each item's four values in one call.
void OneCallPerItem(IDispatch *folder)
{
    VARIANT items = Call(folder, L"Items", DISPATCH_PROPERTYGET);
    VARIANT count = Call(items.pdispVal, L"Count", DISPATCH_PROPERTYGET);
    for (long position = 1; position <= count.lVal; ++position) {
        VARIANT index;
        index.vt = VT_I4;
        index.lVal = position;
        VARIANT item = Call(items.pdispVal, L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, &index);
        VARIANT fields = Call(item.pdispVal, L"ListingFields", DISPATCH_METHOD);
        VariantClear(&fields);
        VariantClear(&item);
    }
    VariantClear(&items);
}

// The whole listing in one call.
void OneCall(IDispatch *folder)
{
    VARIANT items = Call(folder, L"Items", DISPATCH_PROPERTYGET);
    VARIANT rows = Call(items.pdispVal, L"ListingRows", DISPATCH_METHOD);
    VariantClear(&rows);
    VariantClear(&items);
}

struct Figures {
    double median, min, max;
};

Figures Time(int runs, const std::function<void()> &listing)
{
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        listing();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

std::wstring WriteContacts(int n)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"corvane-bench-" + std::to_wstring(GetCurrentProcessId()) + L"-"
                              + std::to_wstring(n) + L".tsv";
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
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
    std::printf("server\tn\tway\tmedian_ms\tmin_ms\tmax_ms\n");
    for (standin::Server server : {standin::Server::InProcess, standin::Server::OutOfProcess}) {
        if (servers != L"both" && servers != (server == standin::Server::InProcess ? L"in-process" : L"out-of-process"))
            continue;
        standin::Register(server);
        const char *name = server == standin::Server::InProcess ? "in-process" : "out-of-process";
        for (int n : sizes) {
            const std::wstring contacts = WriteContacts(n);
            standin::SetContactsFile(contacts);
            IDispatch *application = nullptr;
            IDispatch *folder = Folder(&application); // keeps the server up between runs
            const auto report = [&](const char *way, Figures f) {
                std::printf("%s\t%d\t%s\t%.1f\t%.1f\t%.1f\n", name, n, way, f.median, f.min, f.max);
                std::fflush(stdout);
            };
            {
                OutlookStore store;
                auto contacts = store.OpenDefaultContactsFolder();
                report("store", Time(runs, [&] { StoreListing(*contacts); }));
            }
            report("one-call-per-item", Time(runs, [&] { OneCallPerItem(folder); }));
            report("one-call", Time(runs, [&] { OneCall(folder); }));
            folder->Release();
            application->Release();
            DeleteFileW(contacts.c_str());
        }
    }
    standin::SetContactsFile({});
    standin::Unregister();
    CoUninitialize();
    return 0;
}
