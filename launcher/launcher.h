// The launcher's entry logic: make the launcher's folder current, start the VM through the
// JavaHost, run the main class on a worker thread while the main thread serves its message
// queue, and work out the process's exit code.
//
// Exit codes: -1 when the launcher's folder is unknown or the VM cannot be started (each with a
// message), 1 when the worker cannot be created (no message), the worker's result (0 after a
// clean run, 1 after a failure that was shown) when it ended within kWorkerWaitMilliseconds of
// the end of the loop, and 1 otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "launcher/vm_layer.h"
#include "platform/platform.h"

namespace launcher {

constexpr std::size_t kMessageBufferSize = 2048;
// Java's stack depth on the worker must not depend on the user's stack limit.
constexpr std::size_t kWorkerStackSize = 8u << 20;
constexpr std::uint32_t kWorkerWaitMilliseconds = 500;

extern const char kMainClass[];               // "Fennaquil"
extern const char kCaption[];                 // "Tavolin"
extern const char kNoExecutableNameMessage[];  // "Can't get name of executable!"
extern const char kVmStartMessage[];          // format with one %s, the detail
extern const char kClassExecutionMessage[];   // format with one %s, the detail
extern const char kNotEnoughMemory[];         // detail when the host cannot be allocated

struct LauncherSetup {
  VmLayer& vm;
  // The launcher's own folder as the operating system names it; empty when it is unknown.
  std::string folder;
  // How the worker thread is started (tests make it fail).
  platform::ThreadHandle (*startThread)(platform::ThreadRoutine, void*,
                                        std::size_t) = platform::startThread;
};

// Runs the launcher and returns its exit code. The caller must end the process right after:
// when the worker has not ended in time, it may still be inside the VM, so neither the VM nor
// the host is released, and only ending the process stops it.
int runLauncher(const LauncherSetup& setup);

// Releases and frees the host that runLauncher left to a worker which had not ended in time,
// once that worker has ended. For callers that go on after runLauncher (tests); the program
// ends instead.
void releaseAbandonedHost();

// Shows `text` in a modal error message with the caption "Tavolin", owned by the calling
// thread's active window when it has one.
void showLauncherMessage(const char* text);

// `format` with its one %s replaced by `detail`, cut to fit the kMessageBufferSize-byte buffer.
void formatMessage(char* buffer, const char* format, const char* detail);

}  // namespace launcher
