#include "launcher/launcher.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "launcher/java_host.h"
#include "platform/launcher_start/current_directory.h"
#include "platform/latin1_text.h"

namespace launcher {

const char kMainClass[] = "Fennaquil";
const char kCaption[] = "Tavolin";
const char kNoExecutableNameMessage[] = "Can't get name of executable!";
const char kVmStartMessage[] =
    "Can't find Microsoft Java Virtual Machine.\n"
    "This is most probably because Internet Explorer 3 (or later) is not installed on this "
    "machine.\n"
    "You will need to install Internet Explorer 3 (or later) to run Tavolin.\n\n"
    "Error details: %s";
const char kClassExecutionMessage[] =
    "Can't find the file 'Fennaquil.class'.\n"
    "This file must reside in the same folder as this application.\n\n"
    "Error details: %s";
const char kNotEnoughMemory[] = "not enough memory";

namespace {

// A host left to a worker that had not ended in time; kept reachable until the process ends.
JavaHost* abandonedHost = nullptr;

void destroyHost(JavaHost* host) {
  host->releaseVm();
  host->~JavaHost();
  platform::memory().release(host);
}

// The worker: runs the main class, reports a failure, and tells the main thread it is done.
std::uint32_t workerRoutine(void* argument) {
  auto* host = static_cast<JavaHost*>(argument);
  char detail[kDetailBufferSize] = {};
  std::uint32_t result = 0;
  if (!host->executeClass(kMainClass, detail)) {
    char message[kMessageBufferSize] = {};
    formatMessage(message, kClassExecutionMessage, detail);
    // Shown before the quit message is posted, so the main thread keeps serving its queue while
    // the message is up.
    showLauncherMessage(message);
    result = 1;
  }
  // The last use of the host by this thread.
  platform::postThreadMessage(host->mainThreadId, platform::kQuitMessage);
  return result;
}

}  // namespace

void releaseAbandonedHost() {
  if (!abandonedHost) return;
  destroyHost(abandonedHost);
  abandonedHost = nullptr;
}

// The launcher's texts are 8-bit (Latin-1, as the VM's description was narrowed); the platform
// layer takes UTF-8.
void showLauncherMessage(const char* text) {
  platform::messages().showOwnedError(kCaption, platform::utf8FromLatin1(text).c_str());
}

void formatMessage(char* buffer, const char* format, const char* detail) {
  std::snprintf(buffer, kMessageBufferSize, format, detail);
}

int runLauncher(const LauncherSetup& setup) {
  int exitCode = 1;
  if (setup.folder.empty()) {
    showLauncherMessage(kNoExecutableNameMessage);
    return -1;
  }
  // Not checked: when it fails, the class is not found, and that is reported.
  platform::setCurrentDirectoryNative(setup.folder);

  char detail[kDetailBufferSize] = {};
  char message[kMessageBufferSize] = {};
  void* block = platform::memory().allocate(sizeof(JavaHost), false);
  if (!block) {
    formatMessage(message, kVmStartMessage, kNotEnoughMemory);
    showLauncherMessage(message);
    return -1;
  }
  auto* host = new (block) JavaHost(setup.vm);
  if (!host->startVm(detail)) {
    formatMessage(message, kVmStartMessage, detail);
    showLauncherMessage(message);
    destroyHost(host);
    return -1;
  }
  host->mainThreadId = platform::currentThreadId();

  if (platform::ThreadHandle worker = setup.startThread(workerRoutine, host, kWorkerStackSize)) {
    // No window of our own: nothing to dispatch, the loop waits for the worker's quit message.
    platform::ThreadMessage received;
    while (platform::getMessage(received)) {
    }
    platform::WaitResult waited = platform::waitForThread(worker, kWorkerWaitMilliseconds);
    std::uint32_t workerResult = 1;
    if (waited == platform::WaitResult::kEnded) {
      exitCode =
          platform::threadExitCode(worker, workerResult) ? static_cast<int>(workerResult) : 1;
    }
    platform::closeThread(worker);
    if (waited != platform::WaitResult::kEnded) {
      // The worker may still be inside the VM: releasing the VM under it is not safe.
      abandonedHost = host;
      return 1;
    }
  }
  destroyHost(host);
  return exitCode;
}

}  // namespace launcher
