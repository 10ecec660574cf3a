// register_outlook_standin out-of-process|in-process|remove [CONTACTS-FILE]
// Puts the stand-in in Outlook's place in the current Wine prefix (or takes
// it away) and, when given, names the contacts file it serves.
#include "registration.h"

#include <cstdio>
#include <stdexcept>
#include <string>

int wmain(int argc, wchar_t **argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    try {
        if (mode == L"out-of-process")
            standin::Register(standin::Server::OutOfProcess);
        else if (mode == L"in-process")
            standin::Register(standin::Server::InProcess);
        else if (mode == L"remove")
            standin::Unregister();
        else {
            std::fputs("usage: register_outlook_standin out-of-process|in-process|remove [CONTACTS-FILE]\n", stderr);
            return 2;
        }
        if (argc > 2)
            standin::SetContactsFile(argv[2]);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "register_outlook_standin: %s\n", error.what());
        return 1;
    }
    return 0;
}
