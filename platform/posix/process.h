// Starting other programs without a command interpreter: the clipboard tools, the desktop's
// MIME look-up, dialog programs and the programs that open documents all go through here.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform::posix {

struct ProcessResult {
  int exitStatus = -1;  // -1 when the program could not be started or did not exit normally
  std::string output;   // its standard output, when asked for
};

// Runs `argv` (argv[0] looked up on PATH), feeds `input` to its standard input and waits for it.
// Standard output is captured when `captureOutput` is set, else discarded; standard error is
// discarded. Programs that leave a process behind (clipboard tools serve the selection from
// one) do not hold our descriptors open. A program that stops reading early only cuts the input
// short: the broken pipe's signal is held back in the calling thread and taken off again, so
// the process's own handling of that signal neither runs nor changes.
ProcessResult runProgram(const std::vector<std::string>& argv, const std::string& input = {},
                         bool captureOutput = false);

// Starts `argv` in the background and does not wait. The program is not a child of this
// process (it is handed to the system, which collects it when it ends), so nothing here waits
// for it and no thread is kept for it. Its standard input is empty, its standard output and
// error are ours, it inherits no other descriptor, and it starts with no signal blocked in the
// working directory `workingDirectory` (ours when empty). False when it could not be started:
// no such program, a working directory that cannot be entered, or a file the system cannot run.
bool startDetached(const std::vector<std::string>& argv, const std::string& workingDirectory);

// The process's current directory as the system names it; empty when it cannot be told.
std::string currentDirectory();

// The full path of a program found on PATH (or `name` itself when it holds a '/'); empty if none.
std::string findOnPath(const std::string& name);

// True when a process can reach a graphical session (X11 or Wayland).
bool hasGraphicalSession();
bool hasWaylandSession();

}  // namespace platform::posix
