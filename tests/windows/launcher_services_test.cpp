// The Windows layer's launcher services: thread message queues, threads with their stack size,
// the Java VM search, and the component services around the VM. Run under Wine, where the
// stand-in jvm.dll beside this program (fake-jdk) stands in for a Windows JDK's.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

struct Handoff {
  HANDLE queueReady = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE posted = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  platform::ThreadId id = 0;
  std::vector<platform::ThreadMessage> received;
  ~Handoff() {
    ::CloseHandle(queueReady);
    ::CloseHandle(posted);
  }
};

// Hands out its id, waits until the messages have been posted, and only then reads its queue.
std::uint32_t receiveAfterPosting(void* argument) {
  auto* handoff = static_cast<Handoff*>(argument);
  handoff->id = platform::currentThreadId();
  ::SetEvent(handoff->queueReady);
  ::WaitForSingleObject(handoff->posted, INFINITE);
  platform::ThreadMessage message;
  bool more = true;
  while (more) {
    more = platform::getMessage(message);
    handoff->received.push_back(message);
  }
  return 7;
}

std::string ownFolder() {
  char path[MAX_PATH * 2];
  DWORD got = ::GetModuleFileNameA(nullptr, path, sizeof path);
  std::string file(path, got);
  return file.substr(0, file.find_last_of('\\'));
}

class EnvironmentVariable {
 public:
  EnvironmentVariable(const char* name, const char* value) : name_(name) {
    char old[4096];
    DWORD got = ::GetEnvironmentVariableA(name, old, sizeof old);
    had_ = got > 0 && got < sizeof old;
    if (had_) old_.assign(old, got);
    ::SetEnvironmentVariableA(name, value);
  }
  ~EnvironmentVariable() { ::SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

TEST(LauncherServices, MessagesPostedBeforeTheFirstWaitAreKeptInOrder) {
  Handoff handoff;
  platform::ThreadHandle thread = platform::startThread(receiveAfterPosting, &handoff, 1 << 20);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(::WaitForSingleObject(handoff.queueReady, 10000), WAIT_OBJECT_0);
  EXPECT_NE(handoff.id, 0u);
  EXPECT_TRUE(platform::postThreadMessage(handoff.id, WM_USER + 1, 11, -22));
  EXPECT_TRUE(platform::postThreadMessage(handoff.id, platform::kQuitMessage));
  ::SetEvent(handoff.posted);
  ASSERT_EQ(platform::waitForThread(thread, 10000), platform::WaitResult::kEnded);
  std::uint32_t code = 0;
  EXPECT_TRUE(platform::threadExitCode(thread, code));
  EXPECT_EQ(code, 7u);
  platform::closeThread(thread);
  ASSERT_EQ(handoff.received.size(), 2u);
  EXPECT_EQ(handoff.received[0].message, static_cast<std::uint32_t>(WM_USER + 1));
  EXPECT_EQ(handoff.received[0].first, 11);
  EXPECT_EQ(handoff.received[0].second, -22);
  EXPECT_EQ(handoff.received[1].message, platform::kQuitMessage);
}

TEST(LauncherServices, PostingToNoThreadFails) {
  // Thread ids are multiples of 4: 2 is never one.
  EXPECT_FALSE(platform::postThreadMessage(2, platform::kQuitMessage));
}

std::uint32_t reservedStackInPages(void*) {
  ULONG_PTR low = 0;
  ULONG_PTR high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  return static_cast<std::uint32_t>((high - low) / 4096);
}

TEST(LauncherServices, AThreadGetsTheStackItAskedFor) {
  for (std::size_t size : {std::size_t{1} << 20, std::size_t{8} << 20, std::size_t{24} << 20}) {
    SCOPED_TRACE(size);
    platform::ThreadHandle thread = platform::startThread(reservedStackInPages, nullptr, size);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(platform::waitForThread(thread, 10000), platform::WaitResult::kEnded);
    std::uint32_t pages = 0;
    EXPECT_TRUE(platform::threadExitCode(thread, pages));
    EXPECT_EQ(pages, size / 4096);
    platform::closeThread(thread);
  }
}

std::uint32_t waitThenEndWithStillActive(void* event) {
  ::WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
  return STILL_ACTIVE;  // the code the system also reports for a running thread
}

TEST(LauncherServices, AWaitRunsOutWhileTheThreadRunsAndItsCodeIsReadOnlyOnceItEnded) {
  HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  platform::ThreadHandle thread =
      platform::startThread(waitThenEndWithStillActive, release, 1 << 20);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(platform::waitForThread(thread, 50), platform::WaitResult::kTimedOut);
  std::uint32_t code = 0;
  EXPECT_FALSE(platform::threadExitCode(thread, code));
  ::SetEvent(release);
  ASSERT_EQ(platform::waitForThread(thread, 10000), platform::WaitResult::kEnded);
  EXPECT_TRUE(platform::threadExitCode(thread, code));
  EXPECT_EQ(code, static_cast<std::uint32_t>(STILL_ACTIVE));
  platform::closeThread(thread);
  ::CloseHandle(release);
  EXPECT_EQ(platform::waitForThread(nullptr, 0), platform::WaitResult::kFailed);
}

TEST(LauncherServices, TheVmHostServicesAreComInitialisedForTheThread) {
  ASSERT_TRUE(platform::startVmHostServices());
  // Already initialised as a single-threaded apartment: initialising again says so.
  HRESULT again = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EXPECT_EQ(again, S_FALSE);
  if (SUCCEEDED(again)) ::CoUninitialize();
  platform::endVmHostServices();
  HRESULT fresh = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EXPECT_EQ(fresh, S_OK) << "the services were ended";
  if (SUCCEEDED(fresh)) ::CoUninitialize();
}

struct SearchCase {
  const char* name;
  std::string javaHome;
  bool found;
  std::string firstLooked;  // the start of what was said about JAVA_HOME when nothing was found
};

TEST(LauncherServices, TheJavaVmIsFoundThroughJavaHomeOrNotAtAll) {
  std::string fakeJdk = ownFolder() + "\\fake-jdk";
  std::string noJdk = ownFolder() + "\\no-such-jdk";
  const std::vector<SearchCase> cases = {
      {"the stand-in VM", fakeJdk, true, ""},
      {"a trailing separator", fakeJdk + "\\", true, ""},
      {"a folder that is not there", noJdk, false, noJdk + " (JAVA_HOME): no such folder"},
      {"a folder without a VM", ownFolder(), false, ownFolder() + " (JAVA_HOME): no jvm.dll"},
  };
  // Nothing else to be found on this PATH.
  EnvironmentVariable path("PATH", "C:\\windows\\system32");
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.name);
    EnvironmentVariable home("JAVA_HOME", c.javaHome.c_str());
    std::vector<std::string> looked{"left over"};
    platform::ModuleHandle module = platform::loadJavaVmModule("JNI_CreateJavaVM", looked);
    EXPECT_EQ(module != nullptr, c.found);
    if (c.found) {
      EXPECT_NE(platform::findSymbol(module, "JNI_CreateJavaVM"), nullptr);
      EXPECT_TRUE(looked.empty());
    } else {
      // After the runtime bundled beside this program, which has none.
      ASSERT_GE(looked.size(), 2u);
      EXPECT_EQ(looked[0], ownFolder() + "\\runtime (the runtime bundled with the launcher): " +
                               "no such folder");
      EXPECT_EQ(looked[1].substr(0, c.firstLooked.size()), c.firstLooked);
      EXPECT_EQ(looked.back(), "PATH: no java.exe");
    }
  }
}

TEST(LauncherServices, AVmWithoutTheEntryPointIsPassedOver) {
  EnvironmentVariable home("JAVA_HOME", (ownFolder() + "\\fake-jdk").c_str());
  std::vector<std::string> looked;
  EXPECT_EQ(platform::loadJavaVmModule("JNI_NoSuchEntry", looked), nullptr);
  ASSERT_GE(looked.size(), 2u);
  EXPECT_NE(looked[1].find("jvm.dll has no JNI_NoSuchEntry"), std::string::npos) << looked[1];
}

}  // namespace
