// Threads with an explicit stack size, and the system's own thread message queues.
//
// A thread has a message queue only after its first call into the windowing services; the quit
// message that another thread posts before then is lost. currentThreadId makes the queue, so a
// thread that hands out its id can always be posted to.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

struct ThreadState {
  HANDLE handle = nullptr;
};

namespace {

// What the new thread runs; the thread frees it.
struct StartRecord {
  ThreadRoutine routine;
  void* argument;
};

DWORD WINAPI threadEntry(void* parameter) {
  StartRecord start = *static_cast<StartRecord*>(parameter);
  delete static_cast<StartRecord*>(parameter);
  return start.routine(start.argument);
}

}  // namespace

ThreadId currentThreadId() {
  MSG ignored;
  // Looks at the queue without taking anything off it, which makes the queue if it is missing.
  ::PeekMessageW(&ignored, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  return ::GetCurrentThreadId();
}

bool postThreadMessage(ThreadId thread, std::uint32_t message, std::intptr_t first,
                       std::intptr_t second) {
  return ::PostThreadMessageW(thread, message, static_cast<WPARAM>(first),
                              static_cast<LPARAM>(second)) != 0;
}

bool getMessage(ThreadMessage& message) {
  MSG received{};
  BOOL got = ::GetMessageW(&received, nullptr, 0, 0);
  if (got == -1) {
    // The queue cannot be read (it never fails for the calling thread's own queue): the loop
    // ends as if told to.
    message = ThreadMessage{kQuitMessage, 0, 0};
    return false;
  }
  message.message = received.message;
  message.first = static_cast<std::intptr_t>(received.wParam);
  message.second = static_cast<std::intptr_t>(received.lParam);
  if (got == 0) return false;
  // Messages for windows of this thread (a message box, the component services' own window) go
  // to them; a thread message without a window is only handed back.
  ::DispatchMessageW(&received);
  return true;
}

ThreadHandle startThread(ThreadRoutine routine, void* argument, std::size_t stackSize) {
  auto* start = new StartRecord{routine, argument};
  // The size is what is reserved for the stack, not merely its first commitment.
  HANDLE handle = ::CreateThread(nullptr, stackSize, threadEntry, start,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!handle) {
    delete start;
    return nullptr;
  }
  return new ThreadState{handle};
}

WaitResult waitForThread(ThreadHandle thread, std::uint32_t milliseconds) {
  if (!thread) return WaitResult::kFailed;
  switch (::WaitForSingleObject(thread->handle, milliseconds)) {
    case WAIT_OBJECT_0:
      return WaitResult::kEnded;
    case WAIT_TIMEOUT:
      return WaitResult::kTimedOut;
    default:
      return WaitResult::kFailed;
  }
}

bool threadExitCode(ThreadHandle thread, std::uint32_t& code) {
  // A thread may end with the code that GetExitCodeThread also gives while it runs
  // (STILL_ACTIVE), so whether it has ended is asked of the thread itself.
  if (!thread || ::WaitForSingleObject(thread->handle, 0) != WAIT_OBJECT_0) return false;
  DWORD exitCode = 0;
  if (!::GetExitCodeThread(thread->handle, &exitCode)) return false;
  code = exitCode;
  return true;
}

void closeThread(ThreadHandle thread) {
  if (!thread) return;
  ::CloseHandle(thread->handle);
  delete thread;
}

}  // namespace platform
