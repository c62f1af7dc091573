// Starting other programs without a command interpreter: the clipboard tools, dialog programs
// and the programs that open documents all go through here, and through one way of starting a
// program: posix_spawn, which shares the caller's memory until the program runs instead of
// copying the page tables of a Java VM's heap (a fork of a VM with a 4 GiB heap takes about
// 0.3 s, and can fail under strict overcommit).
//
// Every started program gets the same clean start: descriptors 0, 1 and 2 only (whatever else
// the process holds, close-on-exec or not), no signal blocked, every signal's disposition back
// to the default, and its working directory set in its own process.
#pragma once

#include <string>
#include <vector>

namespace platform::posix {

// How long a helper program may take before it is ended: the clipboard tools, and the starter
// that hands a detached program to the system. A tool that does not answer within it (a display
// server that has stopped, a tool waiting for a terminal) is killed and counts as failed.
constexpr int kToolWaitMilliseconds = 5000;

// How long a message dialog may stay open: it waits for the user, who needs more than a tool's
// few seconds to read it, but the calling Java thread is not held for ever by a dialog nobody
// can see.
constexpr int kDialogWaitMilliseconds = 10 * 60 * 1000;

struct ProcessResult {
  // -1 when the program could not be started, did not exit normally or ran out of time.
  int exitStatus = -1;
  bool timedOut = false;  // it was killed at the end of its time
  std::string output;     // its standard output, when asked for
};

// Runs `argv` (argv[0] looked up on PATH), feeds `input` to its standard input and waits for it
// at most `waitMilliseconds`; a program still running then is killed (by its process id) and
// collected. Standard output is captured when `captureOutput` is set, else discarded; standard
// error is discarded. Programs that leave a process behind (clipboard tools serve the selection
// from one) hold none of our descriptors but the three given to them. A program that stops
// reading early only cuts the input short: the broken pipe's signal is held back in the calling
// thread and taken off again, so the process's own handling of that signal neither runs nor
// changes.
ProcessResult runProgram(const std::vector<std::string>& argv, const std::string& input = {},
                         bool captureOutput = false, int waitMilliseconds = kToolWaitMilliseconds);

// Starts `argv` in the background and does not wait for it. The program is not a child of this
// process: a small starter program of ours (kStarterName, beside the library) is started, starts
// the program and ends at once, so the system takes the program over and collects it when it
// ends; nothing is left to collect here and no thread is kept for it. Its standard input is
// empty, its standard output and error are ours, and it starts in the working directory
// `workingDirectory` (ours when empty). `environment` holds "NAME=value" texts added to ours.
// False when it could not be started: no such program, a working directory that cannot be
// entered, a file the system cannot run, no starter, or a starter that did not answer in time.
bool startDetached(const std::vector<std::string>& argv, const std::string& workingDirectory,
                   const std::vector<std::string>& environment = {});

// The starter's file name, looked for in the folder of the module that holds this code.
constexpr const char* kStarterName = "tavolin-start";

// The process's current directory as the system names it; empty when it cannot be told.
std::string currentDirectory();

// The full path of a program found on PATH (or `name` itself when it holds a '/'); empty if none.
std::string findOnPath(const std::string& name);

// True when a process can reach a graphical session (X11 or Wayland).
bool hasGraphicalSession();
bool hasWaylandSession();

}  // namespace platform::posix
