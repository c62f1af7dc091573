// Runs a GUI program and reports what it showed and how it ended, for the launcher's tests under
// Wine: every message box of the program (a dialog of the class "#32770") is read and closed
// with its OK button, and the program's full 32-bit exit code is printed, which the exit status
// that Wine hands to Linux cuts to 8 bits.
//
//   launcher_run <timeout in ms> <program> [arguments...]
//
// Output, one line each, with '\' and characters outside printable ASCII written as \xHH:
//   dialog caption=<caption> owned=<0|1> icon=<0|1> text=<text>
//   exit=<code>            or   timeout   (the program was then ended)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

// The message box's text and icon controls (the system's own dialog template).
constexpr int kTextControl = 0xFFFF;
constexpr int kIconControl = 0x0440;

std::string escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\\' || c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string windowText(HWND window) {
  int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  int got = ::GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return text;
}

struct Search {
  DWORD process;
  std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  char className[64] = {};
  ::GetClassNameA(window, className, sizeof className);
  if (owner == search->process && std::string(className) == "#32770" && ::IsWindowVisible(window)) {
    search->found.push_back(window);
  }
  return TRUE;
}

std::string quoted(const std::string& word) { return "\"" + word + "\""; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: launcher_run <timeout in ms> <program> [arguments...]\n");
    return 2;
  }
  DWORD timeout = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  std::string line = quoted(argv[2]);
  for (int i = 3; i < argc; ++i) line += " " + quoted(argv[i]);
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(argv[2], writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    std::printf("not started: error %lu\n", ::GetLastError());
    return 2;
  }
  std::set<HWND> answered;
  DWORD started = ::GetTickCount();
  for (;;) {
    if (::WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) break;
    if (::GetTickCount() - started > timeout) {
      ::TerminateProcess(process.hProcess, 0xDEAD);
      std::printf("timeout\n");
      return 1;
    }
    Search search{process.dwProcessId, {}};
    ::EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    for (HWND dialog : search.found) {
      if (!answered.insert(dialog).second) continue;
      char text[4096] = {};
      ::GetDlgItemTextA(dialog, kTextControl, text, sizeof text);
      HWND icon = ::GetDlgItem(dialog, kIconControl);
      bool hasIcon = icon && ::SendMessageA(icon, STM_GETICON, 0, 0) != 0;
      std::printf(
          "dialog caption=%s owned=%d icon=%d text=%s\n", escaped(windowText(dialog)).c_str(),
          ::GetWindow(dialog, GW_OWNER) != nullptr ? 1 : 0, hasIcon ? 1 : 0, escaped(text).c_str());
      std::fflush(stdout);
      ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  std::printf("exit=%ld\n", static_cast<long>(static_cast<LONG>(code)));
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return 0;
}
