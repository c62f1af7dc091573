// Documents and their programs through the shell: FindExecutableW names the program associated
// with a document, CreateProcessW starts it with the document as its one argument (never through
// a command interpreter), ShellExecuteW carries out a document's default action.
//
// FindExecutable's directory is the default directory of the look-up, and the command is one
// part, the command line of that program and the document's full path, quoted by the rules that
// CommandLineToArgvW and the C runtime read back, so that the program gets the document as one
// argument. (The documents'
// "%s %s", neither quoted, split a path with a space into several words.)
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/command_line.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

using win32::wide;

bool exists(const std::string& name) {
  return ::GetFileAttributesW(win32::widePath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
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
  std::wstring wideName = wide(name);
  DWORD needed = ::GetFullPathNameW(wideName.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return name;
  std::wstring full(needed, L'\0');
  DWORD got = ::GetFullPathNameW(wideName.c_str(), needed, full.data(), nullptr);
  if (got == 0 || got >= needed) return name;
  return win32::utf8(full.c_str(), static_cast<int>(got));
}

// A directory argument of the shell's calls: none for an empty one.
const wchar_t* optional(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

DocumentCommand findProgramForDocument(const char* document, const char* directory) {
  if (!document || !*document) return {};
  wchar_t program[MAX_PATH + 1] = {};
  std::wstring folder = wide(directory);
  HINSTANCE result = ::FindExecutableW(wide(document).c_str(), optional(folder), program);
  // Results above 32 are successes; anything else leaves no usable name.
  if (reinterpret_cast<INT_PTR>(result) <= 32 || !program[0]) return {};
  // Quoted so that the program's startup code reads back exactly two words, whatever spaces,
  // quotes or characters of a command interpreter the names hold.
  DocumentCommand command;
  command.parts.push_back(
      win32::commandLine({win32::utf8(program), documentPath(document, directory)}));
  return command;
}

bool startProgram(const DocumentCommand& command, const std::string& workingDirectory) {
  if (command.parts.empty() || command.parts[0].empty()) return false;
  // CreateProcessW may write into the command line: a copy of its own, zero-terminated.
  std::wstring line = wide(command.parts[0]);
  std::vector<wchar_t> writable(line.begin(), line.end());
  writable.push_back(L'\0');
  std::wstring folder = wide(workingDirectory);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  // The program is the line's first word, a full path in quotes: nothing is searched for.
  if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        optional(folder), &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

bool openWithDefaultAction(const char* document, const char* directory) {
  std::wstring folder = wide(directory);
  HINSTANCE result = ::ShellExecuteW(nullptr, nullptr, wide(document).c_str(), nullptr,
                                     optional(folder), SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
