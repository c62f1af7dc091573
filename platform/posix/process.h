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
// one) do not hold our descriptors open.
ProcessResult runProgram(const std::vector<std::string>& argv, const std::string& input = {},
                         bool captureOutput = false);

// Starts `argv` in the background and does not wait; the child is reaped when it ends.
bool startDetached(const std::vector<std::string>& argv);

// The full path of a program found on PATH (or `name` itself when it holds a '/'); empty if none.
std::string findOnPath(const std::string& name);

// True when a process can reach a graphical session (X11 or Wayland).
bool hasGraphicalSession();
bool hasWaylandSession();

}  // namespace platform::posix
