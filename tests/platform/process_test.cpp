#include "platform/posix/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "fakes/temp_folder.h"

namespace {

using platform::posix::runProgram;
using platform::posix::startDetached;

std::atomic<int> pipeSignals{0};
void countPipeSignal(int) { ++pipeSignals; }

// Installs a SIGPIPE handler of the test's own for its lifetime, as a host program would.
class PipeHandler {
 public:
  PipeHandler() {
    struct sigaction action {};
    action.sa_handler = countPipeSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, &previous_);
    pipeSignals = 0;
  }
  ~PipeHandler() { sigaction(SIGPIPE, &previous_, nullptr); }

  static bool installed() {
    struct sigaction now {};
    sigaction(SIGPIPE, nullptr, &now);
    return now.sa_handler == countPipeSignal;
  }

 private:
  struct sigaction previous_ {};
};

bool pipeSignalBlocked() {
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  return sigismember(&mask, SIGPIPE) == 1;
}

bool pipeSignalPending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

struct PipeCase {
  const char* name;
  bool captureOutput;
  bool blockedBefore;  // the calling thread already holds SIGPIPE back
};

class ReaderQuitsEarly : public testing::TestWithParam<PipeCase> {};

// "true" reads nothing and exits: a megabyte cannot fit into the pipe, so the write meets a
// pipe without a reader.
TEST_P(ReaderQuitsEarly, NeitherRunsNorChangesTheProcesssPipeSignalHandling) {
  PipeHandler handler;
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  if (GetParam().blockedBefore) pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

  platform::posix::ProcessResult result =
      runProgram({"true"}, std::string(1 << 20, 'x'), GetParam().captureOutput);

  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(PipeHandler::installed());
  EXPECT_EQ(pipeSignalBlocked(), GetParam().blockedBefore);
  EXPECT_FALSE(pipeSignalPending());
  pthread_sigmask(SIG_UNBLOCK, &pipeSignal, nullptr);
  EXPECT_EQ(pipeSignals.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Process, ReaderQuitsEarly,
                         testing::Values(PipeCase{"Discarded", false, false},
                                         PipeCase{"Captured", true, false},
                                         PipeCase{"DiscardedAlreadyBlocked", false, true},
                                         PipeCase{"CapturedAlreadyBlocked", true, true}),
                         [](const testing::TestParamInfo<PipeCase>& info) {
                           return std::string(info.param.name);
                         });

// A SIGPIPE that was waiting before the call belongs to someone else and stays.
TEST(Process, APipeSignalWaitingBeforeTheCallStays) {
  PipeHandler handler;
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
  pthread_kill(pthread_self(), SIGPIPE);
  runProgram({"true"}, std::string(1 << 20, 'x'));
  EXPECT_TRUE(pipeSignalPending());
  pthread_sigmask(SIG_UNBLOCK, &pipeSignal, nullptr);
  EXPECT_EQ(pipeSignals.load(), 1);
}

TEST(Process, InputAndOutputLargerThanAPipeGoThroughWhole) {
  std::string input;
  for (int i = 0; input.size() < (3 << 20); ++i) input += std::to_string(i) + "\n";
  platform::posix::ProcessResult result = runProgram({"cat"}, input, true);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.output.size(), input.size());
  EXPECT_TRUE(result.output == input);
}

// A program that does not answer is ended when its time is up, and collected: the call says so
// and leaves no child behind.
TEST(Process, AProgramThatDoesNotAnswerIsEndedAtTheEndOfItsTime) {
  platform::posix::ProcessResult result = runProgram({"sleep", "60"}, "input", true, 100);
  EXPECT_TRUE(result.timedOut);
  EXPECT_EQ(result.exitStatus, -1);
  int status = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
}

// The tools get no descriptor of ours beyond the three standard ones, like detached programs.
TEST(Process, AToolGetsOnlyTheStandardDescriptors) {
  int opened = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(opened, 0);
  int stray = ::dup2(opened, 200);
  ::close(opened);
  ASSERT_EQ(stray, 200);
  platform::posix::ProcessResult result = runProgram(
      {"sh", "-c",
       "for fd in 0 1 2 200; do [ -e /proc/$$/fd/$fd ] && printf '%s ' $fd; done; exit 0"},
      {}, true);
  ::close(stray);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.output, "0 1 2 ");
}

int threadCount() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, 8, "Threads:") == 0) return std::stoi(line.substr(8));
  }
  return -1;
}

bool waitForFile(const std::string& path) {
  for (int i = 0; i < 400 && !std::filesystem::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return std::filesystem::exists(path);
}

// The descriptor number a test leaves open without close-on-exec, as a careless part of the host
// might: far above what the test program or the shell would take for themselves.
constexpr int kStrayDescriptor = 200;

// What a started program finds: its working directory, its blocked signals, which of the
// descriptors 0, 1, 2 and the stray one it holds, and its arguments, one a line, written to
// `report` when complete. Everything is read with the shell's own commands before it starts any
// other program: around each start the shell blocks every signal for a moment and holds pipe
// ends of its own, which a grep of its status or a listing of its descriptors could see.
const char kReporter[] =
    "exec > \"$0.tmp\"; pwd; "
    "while read -r key value; do [ \"$key\" = SigBlk: ] && printf 'SigBlk:\\t%s\\n' \"$value\"; "
    "done < /proc/$$/status; "
    "for fd in 0 1 2 200; do [ -e /proc/$$/fd/$fd ] && printf '%s ' $fd; done; echo; "
    "cat; echo; printf '%s\\n' \"$@\"; mv \"$0.tmp\" \"$0\"";

TEST(Process, ADetachedProgramIsNoChildOfOursAndGetsACleanStart) {
  TempFolder folder;
  std::string report = folder.file("report");
  int opened = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(opened, 0);
  int stray = ::dup2(opened, kStrayDescriptor);
  ::close(opened);
  ASSERT_EQ(stray, kStrayDescriptor);
  sigset_t user;
  sigemptyset(&user);
  sigaddset(&user, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &user, nullptr);
  int threadsBefore = threadCount();
  std::string before = std::filesystem::current_path().string();

  bool started = startDetached({"sh", "-c", kReporter, report, "--help", "a b", ""}, "/");

  EXPECT_EQ(threadCount(), threadsBefore);
  int status = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  pthread_sigmask(SIG_UNBLOCK, &user, nullptr);
  ::close(stray);
  EXPECT_EQ(std::filesystem::current_path().string(), before);
  ASSERT_TRUE(started);
  ASSERT_TRUE(waitForFile(report));
  EXPECT_EQ(folder.read("report"), "/\nSigBlk:\t0000000000000000\n0 1 2 \n\n--help\na b\n\n");
}

TEST(Process, ADetachedProgramWithoutAWorkingDirectoryGetsOurs) {
  TempFolder folder;
  std::string report = folder.file("report");
  ASSERT_TRUE(startDetached({"sh", "-c", kReporter, report}, {}));
  ASSERT_TRUE(waitForFile(report));
  std::string text = folder.read("report");
  EXPECT_EQ(text.substr(0, text.find('\n')), std::filesystem::current_path().string());
}

struct StartFailure {
  const char* name;
  const char* program;
  const char* workingDirectory;
};

class DetachedStartFails : public testing::TestWithParam<StartFailure> {};

TEST_P(DetachedStartFails, SaysSoAndLeavesNoChild) {
  TempFolder folder;
  // Executable, but no format the system can run (no "#!" line, no machine code).
  folder.write("garbage", "\x01\x02\x03 not a program\n");
  std::filesystem::permissions(folder.file("garbage"), std::filesystem::perms::owner_all);
  std::string program = GetParam().program;
  if (program == "garbage") program = folder.file("garbage");
  EXPECT_FALSE(startDetached({program}, GetParam().workingDirectory));
  int status = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Process, DetachedStartFails,
    testing::Values(StartFailure{"NoSuchProgram", "tavolin-no-such-program", "/"},
                    StartFailure{"NotAProgram", "garbage", "/"},
                    StartFailure{"NoSuchWorkingDirectory", "true", "/tavolin-no-such-folder"}),
    [](const testing::TestParamInfo<StartFailure>& info) { return std::string(info.param.name); });

}  // namespace
