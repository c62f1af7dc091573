// The launcher's services: the program's own folder, threads, thread message queues, the Java VM
// module and ending the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/modules.h"

namespace platform {

// The folder that holds the running program's own file, as the operating system names it,
// without a trailing separator. Taken from the file itself, never from the name the program was
// started by: a start through a symbolic link (absolute or relative) or with another argument 0
// gives the folder of the real file. Empty when it cannot be told.
std::string executableFolder();

// The services that the Java VM's host must start on its thread before it creates the VM (the
// component object services on Windows) and end after it has released it; nothing elsewhere.
// False when they cannot be started; each successful start is ended once.
bool startVmHostServices();
void endVmHostServices();

// (Making the launcher's folder current is not here: see launcher_start/current_directory.h.)

// Thread ids: small numbers of the system's own, never 0, unique for the life of the process.
using ThreadId = std::uint32_t;
ThreadId currentThreadId();

// Thread message queues. Each thread has one, made when first needed. The only message the
// system posts is the quit message.
constexpr std::uint32_t kQuitMessage = 0x0012;
struct ThreadMessage {
  std::uint32_t message = 0;
  std::intptr_t first = 0;
  std::intptr_t second = 0;
};

// Appends a message to the queue of the thread `thread`; false when there is no such thread.
bool postThreadMessage(ThreadId thread, std::uint32_t message, std::intptr_t first = 0,
                       std::intptr_t second = 0);

// Waits for the calling thread's next message and takes it off the queue. False when it is the
// quit message, true for any other.
bool getMessage(ThreadMessage& message);

// Threads with an explicit stack size and a bounded wait.
struct ThreadState;
using ThreadHandle = ThreadState*;
using ThreadRoutine = std::uint32_t (*)(void* argument);

// Starts `routine(argument)` on a new thread with a stack of `stackSize` bytes; its result is the
// thread's exit code. Null when the thread could not be created.
ThreadHandle startThread(ThreadRoutine routine, void* argument, std::size_t stackSize);

enum class WaitResult { kEnded, kTimedOut, kFailed };
// Waits at most `milliseconds` for the thread to end.
WaitResult waitForThread(ThreadHandle thread, std::uint32_t milliseconds);

// The exit code of a thread that has ended; false while it runs.
bool threadExitCode(ThreadHandle thread, std::uint32_t& code);

// Gives up the handle. A thread that still runs goes on running and cleans up after itself.
void closeThread(ThreadHandle thread);

// How many processors the calling thread may run on: the set the process was confined to (by
// an affinity setting, a container's processor set), not the machine's count. At least 1.
unsigned usableProcessorCount();

// A Java VM's library, loaded: first the one of the runtime bundled beside the program (the
// folder "runtime" in executableFolder(), laid out as a JDK), then the installed ones in the
// places and order where the system's Java installations are found (each implementation lists
// them). A candidate that cannot be loaded, or that lacks the function `entryPoint`, is passed
// over for the next one. Null when none will do; `looked` then holds one line per place looked
// in, in order, each saying what was found there (for the user).
ModuleHandle loadJavaVmModule(const char* entryPoint, std::vector<std::string>& looked);

// The file name of the Java VM's library, for telling the user what was looked for.
const char* javaVmLibraryName();

// Ends the process at once with `status` (the low 8 bits reach the parent): standard output and
// error are flushed, nothing else runs, and threads still running end with the process.
[[noreturn]] void endProcess(int status);

}  // namespace platform
