// Programs started without a shell: no shell ever sees an argument, so no character of a file
// name or text is interpreted.
//
// Nothing here changes what the whole process shares: no signal disposition is set (the Java VM
// has its own handlers), no thread is started, no descriptor of the process is touched, and the
// current directory is never changed; a started program gets its working directory, its signal
// mask and its default dispositions in its own process, through the spawn's attributes.
#include "platform/posix/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/platform.h"

extern char** environ;

namespace platform::posix {
namespace {

using Clock = std::chrono::steady_clock;

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

// Milliseconds left until `deadline`, never negative.
int remaining(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// What a started program's three standard descriptors are: one of ours given to it, or the
// null device, or ours as they are.
constexpr int kNullDevice = -1;
constexpr int kOurs = -2;

// A file action for each standard descriptor, then every other descriptor closed.
class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  void standard(int target, int given) {
    if (given >= 0) {
      // A descriptor given as itself loses its close-on-exec flag in the child.
      posix_spawn_file_actions_adddup2(&actions_, given, target);
    } else if (given == kNullDevice) {
      posix_spawn_file_actions_addopen(&actions_, target, "/dev/null",
                                       target == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    }
  }

  // Closes everything above 2 in the child, whether it was opened with close-on-exec or not: the
  // VM and the libraries in it open descriptors of their own on any thread at any time.
  void closeTheRest() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The C library's own closefrom: close_range in the child, and where the kernel refuses it
    // (before 5.9, or a seccomp profile), a walk of the child's /proc/self/fd; the start fails
    // rather than leak a descriptor when neither can be done.
    posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
#else
    // Without it: one close per descriptor open now. One opened by another thread between this
    // listing and the spawn without close-on-exec would still reach the program.
    if (DIR* folder = ::opendir("/proc/self/fd")) {
      int own = ::dirfd(folder);
      while (dirent* entry = ::readdir(folder)) {
        int fd = std::atoi(entry->d_name);
        if (fd > STDERR_FILENO && fd != own) posix_spawn_file_actions_addclose(&actions_, fd);
      }
      ::closedir(folder);
    }
#endif
  }

  void workingDirectory(const std::string& directory) {
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions_, directory.c_str());
  }

  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// No signal blocked and every disposition the default one, in the child only.
class CleanSignals {
 public:
  CleanSignals() {
    posix_spawnattr_init(&attributes_);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~CleanSignals() { posix_spawnattr_destroy(&attributes_); }
  CleanSignals(const CleanSignals&) = delete;
  CleanSignals& operator=(const CleanSignals&) = delete;

  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// Our environment with the "NAME=value" texts of `added` put in (replacing the same names).
std::vector<char*> environmentWith(const std::vector<std::string>& added) {
  std::vector<char*> result;
  for (char** entry = environ; entry && *entry; ++entry) {
    bool replaced = false;
    for (const std::string& text : added) {
      std::size_t equals = text.find('=');
      replaced = replaced || (equals != std::string::npos &&
                              std::strncmp(*entry, text.c_str(), equals + 1) == 0);
    }
    if (!replaced) result.push_back(*entry);
  }
  for (const std::string& text : added) {
    if (text.find('=') != std::string::npos) result.push_back(const_cast<char*>(text.c_str()));
  }
  result.push_back(nullptr);
  return result;
}

// The one way a program is started here. `program` is a path (absolute, or relative to our
// current directory when no working directory is given); `in`, `out` and `error` are given
// descriptors, kNullDevice or kOurs. The child's process id, or -1 with errno set.
pid_t spawn(const std::string& program, const std::vector<std::string>& argv, int in, int out,
            int error, const std::string& directory, const std::vector<std::string>& added = {}) {
  FileActions actions;
  actions.standard(STDIN_FILENO, in);
  actions.standard(STDOUT_FILENO, out);
  actions.standard(STDERR_FILENO, error);
  actions.closeTheRest();
  actions.workingDirectory(directory);
  CleanSignals attributes;
  std::vector<char*> arguments = argumentVector(argv);
  std::vector<char*> environment = environmentWith(added);
  pid_t pid = -1;
  int failed = ::posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(),
                             arguments.data(), environment.data());
  if (failed != 0) {
    errno = failed;
    return -1;
  }
  return pid;
}

// Waits until the child has ended or the deadline has come; a child still running then is
// killed and collected. Its exit status, or -1 (killed, ended by a signal, or collected by the
// system because the process ignores SIGCHLD: `collectedElsewhere` then tells).
int waitUntil(pid_t pid, Clock::time_point deadline, bool& timedOut, bool& collectedElsewhere) {
  timedOut = false;
  collectedElsewhere = false;
  // Through the system call: the C library's wrapper is newer than the call.
  int watch = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  int status = 0;
  for (auto pause = std::chrono::milliseconds(1);;) {
    pid_t waited = ::waitpid(pid, &status, WNOHANG);
    if (waited == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (waited < 0 && errno != EINTR) {
      closeQuietly(watch);
      collectedElsewhere = errno == ECHILD;
      return -1;
    }
    int left = remaining(deadline);
    if (left == 0) break;
    if (watch >= 0) {
      // Readable once the child has ended.
      pollfd ended{watch, POLLIN, 0};
      ::poll(&ended, 1, left);
    } else {
      // No process descriptors (kernels before 5.3): look again after a growing pause.
      std::this_thread::sleep_for(std::min(pause, std::chrono::milliseconds(left)));
      pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
  }
  closeQuietly(watch);
  timedOut = true;
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return -1;
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
// `output` is open) at the same time, so that neither side can block on a full pipe, until
// both are done or the deadline has come. Both descriptors are closed when done. False when
// the time ran out first.
bool exchange(int& input, const std::string& data, int& output, std::string& collected,
              Clock::time_point deadline) {
  SigpipeHeldBack heldBack;
  std::size_t done = 0;
  bool inTime = true;
  if (data.empty()) closeQuietly(input);
  if (input >= 0) ::fcntl(input, F_SETFL, ::fcntl(input, F_GETFL) | O_NONBLOCK);
  while (input >= 0 || output >= 0) {
    pollfd waits[2];
    nfds_t count = 0;
    if (input >= 0) waits[count++] = {input, POLLOUT, 0};
    if (output >= 0) waits[count++] = {output, POLLIN, 0};
    int left = remaining(deadline);
    int ready = ::poll(waits, count, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    if (ready == 0) {
      inTime = false;
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
  return inTime;
}

// `program` as a name that means the same file from any working directory.
std::string absoluteProgram(const std::string& program) {
  if (program.empty() || program[0] == '/') return program;
  std::string current = currentDirectory();
  return current.empty() ? std::string() : current + "/" + program;
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
                         bool captureOutput, int waitMilliseconds) {
  ProcessResult result;
  if (argv.empty()) return result;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMilliseconds);
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
  pid_t pid = spawn(program, argv, inputPipe[0], captureOutput ? outputPipe[1] : kNullDevice,
                    kNullDevice, {});
  closeQuietly(inputPipe[0]);
  closeQuietly(outputPipe[1]);
  if (pid < 0) {
    closeQuietly(inputPipe[1]);
    closeQuietly(outputPipe[0]);
    return result;
  }

  bool inTime = exchange(inputPipe[1], input, outputPipe[0], result.output, deadline);
  bool collectedElsewhere = false;
  result.exitStatus =
      waitUntil(pid, inTime ? deadline : Clock::now(), result.timedOut, collectedElsewhere);
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

bool startDetached(const std::vector<std::string>& argv, const std::string& workingDirectory,
                   const std::vector<std::string>& environment) {
  if (argv.empty()) return false;
  // Both are started from another working directory than ours.
  std::string program = absoluteProgram(findOnPath(argv[0]));
  std::string folder = moduleFolder(reinterpret_cast<const void*>(&startDetached));
  if (program.empty() || folder.empty()) return false;
  std::string starter = absoluteProgram(folder + "/" + kStarterName);

  // The starter's protocol: the program's file, then its whole argument vector.
  std::vector<std::string> starterArguments{starter, program};
  starterArguments.insert(starterArguments.end(), argv.begin(), argv.end());
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kToolWaitMilliseconds);
  pid_t pid =
      spawn(starter, starterArguments, kNullDevice, kOurs, kOurs, workingDirectory, environment);
  if (pid < 0) return false;
  bool timedOut = false;
  bool collectedElsewhere = false;
  int status = waitUntil(pid, deadline, timedOut, collectedElsewhere);
  // Collected by the system (the process ignores SIGCHLD): the starter did start.
  return status == 0 || collectedElsewhere;
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
