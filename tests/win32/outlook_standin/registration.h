#pragma once

// Puts the Outlook stand-in in the place of Outlook in this Wine prefix, or
// takes it away again. Used by the register tool, the tests and the benchmark.
#include <string>

namespace standin {
enum class Server { OutOfProcess, InProcess };

// The folder of the running executable, where the stand-in's files are built.
std::wstring OwnFolder();

// Registers the stand-in's class under the ProgID "Outlook.Application" with
// one kind of server from the folder, and its type library. Throws
// std::runtime_error.
void Register(Server server, const std::wstring &folder = OwnFolder());
// Takes the ProgID and the class away: Outlook is missing then.
void Unregister();

// The stand-in's settings (standin_ids.h); an empty value removes one.
void SetContactsFile(const std::wstring &path);
void SetJournalFile(const std::wstring &path);
// The message class the stand-in gives its contacts ("IPM.Contact" when empty).
void SetContactForm(const std::wstring &messageClass);
} // namespace standin
