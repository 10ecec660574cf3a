#pragma once

// The Outlook stand-in's own IDs. Its class is registered under the ProgID
// "Outlook.Application", so that the contact store reaches it as it would
// reach Outlook; its type library (outlook_standin.idl) describes Outlook's
// interface IDs for marshalling.
#include <guiddef.h>

namespace standin {
// {D8FF107E-7921-4470-AB0A-DFF127EC6CF3}
constexpr CLSID kClassId = {0xd8ff107e, 0x7921, 0x4470, {0xab, 0x0a, 0xdf, 0xf1, 0x27, 0xec, 0x6c, 0xf3}};
constexpr wchar_t kClassIdText[] = L"{D8FF107E-7921-4470-AB0A-DFF127EC6CF3}";
// {1B452624-9A0C-46BE-B18C-700FDCD6CA09}, version 1.0
constexpr GUID kTypeLibraryId = {0x1b452624, 0x9a0c, 0x46be, {0xb1, 0x8c, 0x70, 0x0f, 0xdc, 0xd6, 0xca, 0x09}};
constexpr wchar_t kProgId[] = L"Outlook.Application";
// Where a test tells the stand-in what to serve: string values "Contacts"
// (the contacts file), "Journal" (a file the stand-in appends every call
// to; none when absent) and "ContactForm" (the message class of its
// contacts; "IPM.Contact" when absent), read again at every folder call.
constexpr wchar_t kSettingsKey[] = L"Software\\Corvane Tesk\\Outlook stand-in";
constexpr wchar_t kServerFile[] = L"outlook_standin.exe";
constexpr wchar_t kInProcessFile[] = L"outlook_standin_inproc.dll";
} // namespace standin
