// Programs started with posix_spawn: no shell ever sees an argument, so no character of a file
// name or text is interpreted.
#include "platform/posix/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

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

// Writes all of `data` to `fd`; false when the reader went away first.
bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t written = ::write(fd, data.data() + done, data.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
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

  // A reader that quits early must not kill us with SIGPIPE; the write then simply fails.
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);
  if (captureOutput) {
    // Feed the input from a second thread so that neither side can block on a full pipe.
    std::thread feeder([fd = inputPipe[1], &input] { writeAll(fd, input); });
    char chunk[4096];
    for (;;) {
      ssize_t got = ::read(outputPipe[0], chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      result.output.append(chunk, static_cast<std::size_t>(got));
    }
    feeder.join();
    closeQuietly(outputPipe[0]);
  } else {
    writeAll(inputPipe[1], input);
  }
  closeQuietly(inputPipe[1]);
  ::sigaction(SIGPIPE, &previous, nullptr);

  result.exitStatus = waitForExit(pid);
  return result;
}

bool startDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  std::string program = findOnPath(argv[0]);
  if (program.empty()) return false;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> arguments = argumentVector(argv);
  pid_t pid = -1;
  int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  // The started program lives on its own; a small thread collects its exit status so that it
  // does not stay behind as a zombie.
  std::thread([pid] { waitForExit(pid); }).detach();
  return true;
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
