// Documents and programs.
//
// Opening a document with its program takes two steps: the look-up makes the command that
// opens the document, and the start runs that command in a working directory of the caller's
// choosing, without waiting for it and without changing the caller's own current directory.
// The program is the one the desktop itself would choose for the document (each system's
// implementation says how it asks); the document reaches it as one argument, its absolute path
// (or that path's URI where the program asks for one), never split at a space and never seen by
// a command interpreter. No program is found for a document that does not exist, or where the
// system's own command for the document could make the document's name part of a command.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The command that opens one document with its program, as findProgramForDocument made it.
struct DocumentCommand {
  // The command in the form the system starts programs in (UTF-8): a command line as one part,
  // or the program's full path and then its arguments, one part each (each implementation says
  // which). Empty when no program is known for the document.
  std::vector<std::string> parts;
  // Where the program asks to be started; empty when it leaves that to the caller.
  std::string workingDirectory;
  // "NAME=value" texts the program gets in its environment besides the caller's.
  std::vector<std::string> environment;
};

// The command that opens `document` with the program associated with its type; empty when
// none is known. `directory` is where a relative document name is looked up first; elsewhere a
// relative name is taken from the current directory.
DocumentCommand findProgramForDocument(const char* document, const char* directory);

// Starts `command` with `workingDirectory` as the started program's own working directory
// unless the command names its own, without waiting for it; the caller's current directory is
// not changed. False when the command is empty or could not be started.
bool startProgram(const DocumentCommand& command, const std::string& workingDirectory);

// Opens the document with the desktop's default action, handed the document's absolute path; a
// relative name is looked up as findProgramForDocument does. False when that could not start.
bool openWithDefaultAction(const char* document, const char* directory);

// The system directory that started programs get as their working directory.
std::string systemDirectory();

}  // namespace platform
