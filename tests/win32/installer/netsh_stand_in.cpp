// Stands in for netsh.exe under Wine, whose netsh has no firewall: appends
// its command line (UTF-8, one line) to the file named by
// CORVANE_NETSH_LOG and exits with CORVANE_NETSH_EXIT (default 0), so a
// test sees exactly the firewall commands a program ran and can make them fail.
#include <windows.h>
#include <string>

int wmain() {
  wchar_t path[MAX_PATH];
  if (GetEnvironmentVariableW(L"CORVANE_NETSH_LOG", path, MAX_PATH) - 1u < MAX_PATH - 1u) {
    const wchar_t *command = GetCommandLineW();
    int size = WideCharToMultiByte(CP_UTF8, 0, command, -1, nullptr, 0, nullptr, nullptr);
    std::string line(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, command, -1, line.data(), size, nullptr, nullptr);
    line += '\n';
    HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 255;
    DWORD written;
    WriteFile(log, line.data(), DWORD(line.size()), &written, nullptr);
    CloseHandle(log);
  }
  wchar_t code[16];
  if (GetEnvironmentVariableW(L"CORVANE_NETSH_EXIT", code, 16) - 1u < 15u) return _wtoi(code);
  return 0;
}
