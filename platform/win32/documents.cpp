// Documents and their programs through the shell: FindExecutableA names the program associated
// with a document, CreateProcessA starts it with the document as its one argument (never through
// a command interpreter), ShellExecuteA carries out a document's default action.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/command_line.h"

namespace platform {

std::string findProgramForDocument(const char* document, const char* directory) {
  char program[MAX_PATH + 1] = {};
  HINSTANCE result =
      ::FindExecutableA(document, directory && *directory ? directory : nullptr, program);
  // Results above 32 are successes; anything else leaves no usable name.
  if (reinterpret_cast<INT_PTR>(result) <= 32) return {};
  return program;
}

bool startProgram(const std::string& program, const char* argument) {
  if (program.empty()) return false;
  std::string line = win32::commandLine({program, argument ? argument : ""});
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  // The program is named on its own as well, so the system never searches for the first word
  // of the command line.
  if (!::CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

bool openWithDefaultAction(const char* document, const char* directory) {
  HINSTANCE result = ::ShellExecuteA(nullptr, nullptr, document, nullptr,
                                     directory && *directory ? directory : nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
