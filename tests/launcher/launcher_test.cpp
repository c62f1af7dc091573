#include "launcher/launcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fakes/current_directory.h"
#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "launcher/fake_vm_layer.h"

namespace {

using Calls = std::vector<std::string>;

std::string formatted(const char* format, const std::string& detail) {
  std::string text = format;
  return text.replace(text.find("%s"), 2, detail);
}

const std::string kVmStartPrefix =
    "Can't find Microsoft Java Virtual Machine.\nThis is most probably because Internet Explorer "
    "3 (or later) is not installed on this machine.\nYou will need to install Internet Explorer 3 "
    "(or later) to run Tavolin.\n\nError details: ";
const std::string kExecutionPrefix =
    "Can't find the file 'Fennaquil.class'.\nThis file must reside in the same folder as this "
    "application.\n\nError details: ";

// Runs the launcher with the fake layer in a temporary folder, keeping the test's own current
// directory.
struct LauncherRun {
  explicit LauncherRun(FakeVmScript script = {}) : layer(std::move(script)) {}
  int launch(platform::ThreadHandle (*startThread)(platform::ThreadRoutine, void*,
                                                   std::size_t) = platform::startThread) {
    KeptCurrentDirectory saved;
    launcher::LauncherSetup setup{layer, folder.path().string(), startThread};
    int code = launcher::runLauncher(setup);
    saved.restore();
    return code;
  }
  TempFolder folder;
  RecordingMessages messages;
  FakeVmLayer layer;
};

TEST(Launcher, MessagesAreTheSystemsOwnWords) {
  EXPECT_EQ(formatted(launcher::kVmStartMessage, ""), kVmStartPrefix);
  EXPECT_EQ(formatted(launcher::kClassExecutionMessage, ""), kExecutionPrefix);
}

TEST(Launcher, ACleanRunExitsWithZeroFromTheLaunchersFolder) {
  std::string cwdDuringRun;
  FakeVmScript script;
  script.duringExecute = [&] { cwdDuringRun = std::filesystem::current_path().string(); };
  LauncherRun run(script);
  platform::ThreadId mainThread = platform::currentThreadId();

  EXPECT_EQ(run.launch(), 0);
  EXPECT_TRUE(run.messages.shown.empty());
  EXPECT_EQ(cwdDuringRun, std::filesystem::canonical(run.folder.path()).string());
  EXPECT_EQ(run.layer.seenName, u"Fennaquil");
  EXPECT_NE(run.layer.executeThread, mainThread);
  EXPECT_EQ(run.layer.recorded(), (Calls{"initialise", "obtainVm", "createVm", "release factory",
                                         "execute", "release vm", "terminate"}));
}

struct FailureCase {
  const char* name;
  FakeVmScript script;
  int exitCode;
  std::string message;
};

TEST(Launcher, EachFailureShowsExactlyOneMessageWithItsExitCode) {
  FakeVmScript noOle, noJvm, noLoader, executeFails, thrown, undescribed;
  noOle.initialiseFails = true;
  noJvm.obtainFails = true;
  noLoader.createFails = true;
  executeFails.executeStatus = launcher::kVmFailed;
  executeFails.returnsError = true;
  thrown.returnsError = true;
  thrown.description = u"java.lang.RuntimeException: boom";
  undescribed.returnsError = true;
  undescribed.errorHasDescription = false;
  const std::vector<FailureCase> cases = {
      {"can't init OLE", noOle, -1, kVmStartPrefix + "can't init OLE"},
      {"can't init JVM", noJvm, -1, kVmStartPrefix + "can't init JVM"},
      {"ClassLoader failed", noLoader, -1, kVmStartPrefix + "ClassLoader failed"},
      {"execute fails", executeFails, 1, kExecutionPrefix + "can't execute class"},
      {"class threw", thrown, 1, kExecutionPrefix + "java.lang.RuntimeException: boom"},
      {"no description", undescribed, 1, kExecutionPrefix + "unknown error executing class"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    LauncherRun run(c.script);
    EXPECT_EQ(run.launch(), c.exitCode);
    ASSERT_EQ(run.messages.shown.size(), 1u);
    EXPECT_EQ(run.messages.shown[0], (ShownMessage{"Tavolin", c.message}));
    // Whatever happened, the VM layer is left terminated (or was never initialised).
    Calls calls = run.layer.recorded();
    if (!c.script.initialiseFails) {
      EXPECT_EQ(calls.back(), "terminate");
    }
  }
}

TEST(Launcher, AnUnknownFolderStopsBeforeAnythingStarts) {
  RecordingMessages messages;
  FakeVmLayer layer;
  launcher::LauncherSetup setup{layer, ""};
  EXPECT_EQ(launcher::runLauncher(setup), -1);
  EXPECT_EQ(messages.shown,
            (std::vector<ShownMessage>{{"Tavolin", "Can't get name of executable!"}}));
  EXPECT_TRUE(layer.recorded().empty());
}

TEST(Launcher, AFolderThatCannotBeEnteredLeavesTheCurrentDirectory) {
  FakeVmScript script;
  std::string cwdDuringRun;
  script.duringExecute = [&] { cwdDuringRun = std::filesystem::current_path().string(); };
  RecordingMessages messages;
  FakeVmLayer layer(script);
  KeptCurrentDirectory saved;
  std::string before = std::filesystem::current_path().string();
  launcher::LauncherSetup setup{layer, "/nonexistent/tavolin-launcher-folder"};
  // Not reported here: with a real VM the class is then not found, and that is reported.
  EXPECT_EQ(launcher::runLauncher(setup), 0);
  saved.restore();
  EXPECT_EQ(cwdDuringRun, before);
}

TEST(Launcher, AWorkerThatCannotBeCreatedEndsWithOneAndNoMessage) {
  LauncherRun run;
  auto noThread = [](platform::ThreadRoutine, void*, std::size_t) -> platform::ThreadHandle {
    return nullptr;
  };
  EXPECT_EQ(run.launch(noThread), 1);
  EXPECT_TRUE(run.messages.shown.empty());
  EXPECT_EQ(run.layer.recorded(), (Calls{"initialise", "obtainVm", "createVm", "release factory",
                                         "release vm", "terminate"}));
}

TEST(Launcher, AHostThatCannotBeAllocatedIsAVmStartFailure) {
  LauncherRun run;
  FailingMemory noMemory;
  EXPECT_EQ(run.launch(), -1);
  EXPECT_EQ(run.messages.shown,
            (std::vector<ShownMessage>{{"Tavolin", kVmStartPrefix + "not enough memory"}}));
  EXPECT_TRUE(run.layer.recorded().empty());
}

TEST(Launcher, MessagesLongerThanTheirBufferAreCut) {
  FakeVmScript script;
  script.returnsError = true;
  script.description = std::u16string(4000, u'y');
  LauncherRun run(script);
  EXPECT_EQ(run.launch(), 1);
  ASSERT_EQ(run.messages.shown.size(), 1u);
  const std::string& text = run.messages.shown[0].text;
  EXPECT_EQ(text.size(), launcher::kMessageBufferSize - 1);
  EXPECT_EQ(text, (kExecutionPrefix + std::string(4000, 'y')).substr(0, text.size()));
}

// When the loop ends while the worker is still inside the VM, the VM must not be released under
// it: the exit code is 1 and the process is to end at once.
TEST(Launcher, AWorkerStillInsideTheVmAfterTheWaitIsLeftAlone) {
  std::atomic<bool> letGo{false};
  platform::ThreadId mainThread = platform::currentThreadId();
  FakeVmScript script;
  script.duringExecute = [&] {
    platform::postThreadMessage(mainThread, platform::kQuitMessage);
    while (!letGo) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  LauncherRun run(script);
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(run.launch(), 1);
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(launcher::kWorkerWaitMilliseconds));
  Calls calls = run.layer.recorded();
  EXPECT_EQ(calls.back(), "execute");

  // Let the worker finish and take its own quit message off this thread's queue.
  letGo = true;
  platform::ThreadMessage stale;
  EXPECT_FALSE(platform::getMessage(stale));
  EXPECT_TRUE(run.messages.shown.empty());
  launcher::releaseAbandonedHost();
  calls = run.layer.recorded();
  EXPECT_EQ(calls.back(), "terminate");
}

}  // namespace
