// Threads with an explicit stack size, thread message queues, and ending the process.
//
// The registry of queues is never destroyed: a Java program may end the process from one of its
// own threads (System.exit) while the launcher's main thread still waits on its queue, and the
// exit must not pull the queue from under that thread.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "platform/platform.h"

namespace platform {
namespace {

struct MessageQueue {
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<ThreadMessage> messages;
};

struct QueueRegistry {
  std::mutex lock;
  std::unordered_map<ThreadId, MessageQueue*> queues;
  std::atomic<ThreadId> nextId{1};
};

QueueRegistry& registry() {
  static QueueRegistry* instance = new QueueRegistry;
  return *instance;
}

// The calling thread's id and queue, made on first use and unregistered when the thread ends.
struct ThisThread {
  ThreadId id = 0;
  MessageQueue* queue = nullptr;
  ~ThisThread() {
    if (!queue) return;
    QueueRegistry& all = registry();
    std::lock_guard<std::mutex> guard(all.lock);
    all.queues.erase(id);
    delete queue;
  }
};
thread_local ThisThread thisThread;

ThisThread& registered() {
  if (thisThread.queue) return thisThread;
  QueueRegistry& all = registry();
  auto* queue = new MessageQueue;
  std::lock_guard<std::mutex> guard(all.lock);
  thisThread.id = all.nextId++;
  thisThread.queue = queue;
  all.queues.emplace(thisThread.id, queue);
  return thisThread;
}

}  // namespace

ThreadId currentThreadId() { return registered().id; }

bool postThreadMessage(ThreadId thread, std::uint32_t message, std::intptr_t first,
                       std::intptr_t second) {
  QueueRegistry& all = registry();
  // The registry's lock is held across the post so that the target cannot end and free its
  // queue meanwhile.
  std::lock_guard<std::mutex> guard(all.lock);
  auto found = all.queues.find(thread);
  if (found == all.queues.end()) return false;
  MessageQueue& queue = *found->second;
  {
    std::lock_guard<std::mutex> queueGuard(queue.lock);
    queue.messages.push_back({message, first, second});
  }
  queue.arrived.notify_one();
  return true;
}

bool getMessage(ThreadMessage& message) {
  MessageQueue& queue = *registered().queue;
  std::unique_lock<std::mutex> guard(queue.lock);
  queue.arrived.wait(guard, [&] { return !queue.messages.empty(); });
  message = queue.messages.front();
  queue.messages.pop_front();
  return message.message != kQuitMessage;
}

// Shared by the handle and the running thread; the last of the two to let go frees it.
struct ThreadState {
  ThreadRoutine routine = nullptr;
  void* argument = nullptr;
  std::mutex lock;
  std::condition_variable finished;
  bool ended = false;
  std::uint32_t exitCode = 0;
  int holders = 2;
};

namespace {

void letGo(ThreadState* state) {
  bool last;
  {
    std::lock_guard<std::mutex> guard(state->lock);
    last = --state->holders == 0;
  }
  if (last) delete state;
}

void* threadEntry(void* argument) {
  auto* state = static_cast<ThreadState*>(argument);
  std::uint32_t code = state->routine(state->argument);
  {
    std::lock_guard<std::mutex> guard(state->lock);
    state->ended = true;
    state->exitCode = code;
  }
  state->finished.notify_all();
  letGo(state);
  return nullptr;
}

}  // namespace

ThreadHandle startThread(ThreadRoutine routine, void* argument, std::size_t stackSize) {
  auto* state = new ThreadState;
  state->routine = routine;
  state->argument = argument;
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) {
    delete state;
    return nullptr;
  }
  pthread_t thread;
  bool started = ::pthread_attr_setstacksize(&attributes, stackSize) == 0 &&
                 ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                 ::pthread_create(&thread, &attributes, threadEntry, state) == 0;
  ::pthread_attr_destroy(&attributes);
  if (!started) {
    delete state;
    return nullptr;
  }
  return state;
}

WaitResult waitForThread(ThreadHandle thread, std::uint32_t milliseconds) {
  if (!thread) return WaitResult::kFailed;
  std::unique_lock<std::mutex> guard(thread->lock);
  bool ended = thread->finished.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                         [&] { return thread->ended; });
  return ended ? WaitResult::kEnded : WaitResult::kTimedOut;
}

bool threadExitCode(ThreadHandle thread, std::uint32_t& code) {
  if (!thread) return false;
  std::lock_guard<std::mutex> guard(thread->lock);
  if (!thread->ended) return false;
  code = thread->exitCode;
  return true;
}

void closeThread(ThreadHandle thread) {
  if (thread) letGo(thread);
}

void endProcess(int status) {
  std::fflush(nullptr);
  ::_exit(status);
}

}  // namespace platform
