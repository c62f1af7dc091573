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
namespace {

bool exists(const std::string& name) {
  return ::GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The document's full path: a relative name is taken from `directory` when the document is
// there, else from the current directory. The program runs elsewhere (in the Windows
// directory), so a relative name would not find the document.
std::string documentPath(const char* document, const char* directory) {
  std::string name = document;
  if (directory && *directory) {
    std::string joined = joinedName(directory, document);
    if (joined != name && exists(joined)) name = joined;
  }
  DWORD needed = ::GetFullPathNameA(name.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return name;
  std::string full(needed, '\0');
  DWORD got = ::GetFullPathNameA(name.c_str(), needed, full.data(), nullptr);
  if (got == 0 || got >= needed) return name;
  full.resize(got);
  return full;
}

}  // namespace

DocumentCommand findProgramForDocument(const char* document, const char* directory) {
  if (!document || !*document) return {};
  char program[MAX_PATH + 1] = {};
  HINSTANCE result =
      ::FindExecutableA(document, directory && *directory ? directory : nullptr, program);
  // Results above 32 are successes; anything else leaves no usable name.
  if (reinterpret_cast<INT_PTR>(result) <= 32 || !program[0]) return {};
  // Quoted so that the program's startup code reads back exactly two words, whatever spaces,
  // quotes or characters of a command interpreter the names hold.
  DocumentCommand command;
  command.parts.push_back(win32::commandLine({program, documentPath(document, directory)}));
  return command;
}

bool startProgram(const DocumentCommand& command, const std::string& workingDirectory) {
  if (command.parts.empty() || command.parts[0].empty()) return false;
  std::vector<char> line(command.parts[0].begin(), command.parts[0].end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  // The program is the line's first word, a full path in quotes: nothing is searched for.
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
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
