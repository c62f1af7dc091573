// Programs started without a shell: no shell ever sees an argument, so no character of a file
// name or text is interpreted.
//
// Nothing here changes what the whole process shares: no signal disposition is set (the Java VM
// has its own handlers), no thread is started, and the current directory is never changed; a
// started program gets its working directory in its own process.
#include "platform/posix/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace platform::posix {
namespace {

std::vector<char*> argumentVector(const std::vector<std::string>& argv) {
  std::vector<char*> result;
  result.reserve(argv.size() + 1);
  for (const std::string& argument : argv) result.push_back(const_cast<char*>(argument.c_str()));
  result.push_back(nullptr);
  return result;
}

void closeQuietly(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int waitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Holds SIGPIPE back in the calling thread for its lifetime. A write to a pipe whose reader
// has gone then fails with EPIPE instead of running the process's handler (or ending the
// process), and the signal it raised is taken off the thread again before the mask comes back.
// A SIGPIPE that was already waiting, blocked, before is left as it was: it is not ours.
class SigpipeHeldBack {
 public:
  SigpipeHeldBack() {
    sigemptyset(&pipeSignal_);
    sigaddset(&pipeSignal_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal_, &previous_);
    sigset_t pending;
    sigemptyset(&pending);
    waitingBefore_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
  }
  ~SigpipeHeldBack() {
    if (raised_ && !waitingBefore_) {
      timespec noWait{};
      while (sigtimedwait(&pipeSignal_, nullptr, &noWait) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeHeldBack(const SigpipeHeldBack&) = delete;
  SigpipeHeldBack& operator=(const SigpipeHeldBack&) = delete;

  // Called when a write failed with EPIPE: a SIGPIPE is now waiting in this thread.
  void raised() { raised_ = true; }

 private:
  sigset_t pipeSignal_;
  sigset_t previous_;
  bool waitingBefore_ = false;
  bool raised_ = false;
};

// Feeds `input` to the child's standard input and collects its standard output (when
// `output` is open) at the same time, so that neither side can block on a full pipe. Both
// descriptors are closed when done.
void exchange(int& input, const std::string& data, int& output, std::string& collected) {
  SigpipeHeldBack heldBack;
  std::size_t done = 0;
  if (data.empty()) closeQuietly(input);
  if (input >= 0) ::fcntl(input, F_SETFL, ::fcntl(input, F_GETFL) | O_NONBLOCK);
  while (input >= 0 || output >= 0) {
    pollfd waits[2];
    nfds_t count = 0;
    if (input >= 0) waits[count++] = {input, POLLOUT, 0};
    if (output >= 0) waits[count++] = {output, POLLIN, 0};
    if (::poll(waits, count, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (nfds_t i = 0; i < count; ++i) {
      if (waits[i].revents == 0) continue;
      if (waits[i].fd == input) {
        ssize_t written = ::write(input, data.data() + done, data.size() - done);
        if (written < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (written < 0) {
          if (errno == EPIPE) heldBack.raised();
          closeQuietly(input);
          continue;
        }
        done += static_cast<std::size_t>(written);
        if (done == data.size()) closeQuietly(input);
      } else {
        char chunk[4096];
        ssize_t got = ::read(output, chunk, sizeof chunk);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {
          closeQuietly(output);
          continue;
        }
        collected.append(chunk, static_cast<std::size_t>(got));
      }
    }
  }
  closeQuietly(input);
  closeQuietly(output);
}

// What the started program's own process does between the second fork and the program: only
// calls that are safe in the child of a multi-threaded process, on data made before the fork.
// Any failure is reported as its error number on `report` (closed by a successful exec).
[[noreturn]] void becomeProgram(const char* program, char* const* argv, const char* directory,
                                int report) {
  int error = 0;
  int empty = ::open("/dev/null", O_RDONLY);
  if (empty < 0) {
    error = errno;
  } else if (empty != STDIN_FILENO) {
    if (::dup2(empty, STDIN_FILENO) < 0) error = errno;
    ::close(empty);
  }
  // This process is the started program's own, not the VM's: its directory is nobody else's.
  if (error == 0 && directory && ::chdir(directory) != 0) error = errno;
  if (error == 0) {
    // Descriptors this process opened without close-on-exec belong to it, not to the program.
    ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    ::execve(program, argv, environ);
    error = errno;
  }
  while (::write(report, &error, sizeof error) < 0 && errno == EINTR) {
  }
  ::_exit(127);
}

}  // namespace

std::string findOnPath(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string directories = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= directories.size()) {
    std::size_t end = directories.find(':', start);
    if (end == std::string::npos) end = directories.size();
    std::string directory = directories.substr(start, end - start);
    if (directory.empty()) directory = ".";
    std::string candidate = directory + "/" + name;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

ProcessResult runProgram(const std::vector<std::string>& argv, const std::string& input,
                         bool captureOutput) {
  ProcessResult result;
  if (argv.empty()) return result;
  std::string program = findOnPath(argv[0]);
  if (program.empty()) return result;

  int inputPipe[2] = {-1, -1};
  int outputPipe[2] = {-1, -1};
  if (::pipe2(inputPipe, O_CLOEXEC) != 0) return result;
  if (captureOutput && ::pipe2(outputPipe, O_CLOEXEC) != 0) {
    closeQuietly(inputPipe[0]);
    closeQuietly(inputPipe[1]);
    return result;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inputPipe[0], STDIN_FILENO);
  if (captureOutput) {
    posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  std::vector<char*> arguments = argumentVector(argv);
  pid_t pid = -1;
  int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  closeQuietly(inputPipe[0]);
  closeQuietly(outputPipe[1]);
  if (spawned != 0) {
    closeQuietly(inputPipe[1]);
    closeQuietly(outputPipe[0]);
    return result;
  }

  exchange(inputPipe[1], input, outputPipe[0], result.output);

  result.exitStatus = waitForExit(pid);
  return result;
}

std::string currentDirectory() {
  std::vector<char> buffer(4096);
  while (!::getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

bool startDetached(const std::vector<std::string>& argv, const std::string& workingDirectory) {
  if (argv.empty()) return false;
  std::string program = findOnPath(argv[0]);
  if (program.empty()) return false;
  // The program's own process may change directory before it starts the program.
  if (program[0] != '/') {
    std::string current = currentDirectory();
    if (current.empty()) return false;
    program = current + "/" + program;
  }
  std::vector<char*> arguments = argumentVector(argv);
  const char* directory = workingDirectory.empty() ? nullptr : workingDirectory.c_str();

  int report[2] = {-1, -1};
  if (::pipe2(report, O_CLOEXEC) != 0) return false;

  // Twice forked, the program is no child of ours: its parent ends at once and is collected
  // here, and the system takes the program over. No handler of this process may run in the
  // copies before the program starts, so every signal is held back in this thread meanwhile
  // (the copies inherit the mask and clear it just before the program starts).
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  pid_t middle = ::_Fork();
  if (middle == 0) {
    pid_t started = ::_Fork();
    if (started == 0) becomeProgram(program.c_str(), arguments.data(), directory, report[1]);
    ::_exit(started < 0 ? 1 : 0);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  closeQuietly(report[1]);
  if (middle < 0) {
    closeQuietly(report[0]);
    return false;
  }

  int status = 0;
  pid_t waited;
  while ((waited = ::waitpid(middle, &status, 0)) < 0 && errno == EINTR) {
  }
  // ECHILD: the process lets the system collect its children itself; the report still tells.
  bool forked = waited < 0 ? errno == ECHILD : WIFEXITED(status) && WEXITSTATUS(status) == 0;

  // End of file once the program has started (the report closes on exec); an error number if
  // its process could not start it.
  int error = 0;
  ssize_t got;
  while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  closeQuietly(report[0]);
  return forked && got == 0;
}

bool hasWaylandSession() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return wayland && *wayland;
}

bool hasGraphicalSession() {
  const char* display = std::getenv("DISPLAY");
  return (display && *display) || hasWaylandSession();
}

}  // namespace platform::posix
