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

DocumentCommand findProgramForDocument(const char* document, const char* directory) {
  char program[MAX_PATH + 1] = {};
  HINSTANCE result =
      ::FindExecutableA(document, directory && *directory ? directory : nullptr, program);
  // Results above 32 are successes; anything else leaves no usable name.
  if (reinterpret_cast<INT_PTR>(result) <= 32 || !program[0]) return {};
  return {{win32::commandLine({program, document ? document : ""})}};
}

bool startProgram(const DocumentCommand& command, const std::string& workingDirectory) {
  if (command.parts.empty() || command.parts[0].empty()) return false;
  std::vector<char> writable(command.parts[0].begin(), command.parts[0].end());
  writable.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  // The program's path is the line's first word, in quotes: the system never searches for a
  // shorter one.
  if (!::CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                        &process)) {
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
