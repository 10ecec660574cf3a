// Prints what the Windows shell reads from a shortcut (.lnk), one field a
// line: target, arguments, working folder, icon, description. UTF-8, LF.
// Usage: read_shortcut FILE.lnk
#include <windows.h>
#include <shlobj.h>
#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t *text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

void print(const char *field, const std::string &value) {
  std::string line = std::string(field) + "=" + value + "\n";
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) {
    std::fputs("usage: read_shortcut FILE.lnk\n", stderr);
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  IShellLinkW *link = nullptr;
  IPersistFile *file = nullptr;
  int status = 1;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void **>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file))) &&
      SUCCEEDED(file->Load(argv[1], STGM_READ))) {
    wchar_t text[INFOTIPSIZE];
    int icon = 0;
    if (link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK) print("target", utf8(text));
    if (SUCCEEDED(link->GetArguments(text, INFOTIPSIZE))) print("arguments", utf8(text));
    if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) print("folder", utf8(text));
    if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &icon)))
      print("icon", utf8(text) + "," + std::to_string(icon));
    if (SUCCEEDED(link->GetDescription(text, INFOTIPSIZE))) print("description", utf8(text));
    status = 0;
  } else {
    std::fputs("read_shortcut: cannot load the shortcut\n", stderr);
  }
  if (file) file->Release();
  if (link) link->Release();
  CoUninitialize();
  return status;
}
