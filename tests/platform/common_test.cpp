// The platform's shared parts: fresh names, module overrides, the swappable services.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "fakes/recording_services.h"
#include "platform/common/module_overrides.h"
#include "platform/common/unique_name.h"
#include "platform/testing/platform_testing.h"

namespace {

TEST(PlatformCommon, UniqueSuffixesKeepToTheAlphabetAndDoNotRepeat) {
  struct Case {
    bool namesTellCasesApart;
    std::string alphabet;
  } cases[] = {
      {true, "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {false, "abcdefghijklmnopqrstuvwxyz0123456789"},
  };
  for (const Case& c : cases) {
    std::set<std::string> seen;
    bool upperSeen = false;
    for (int i = 0; i < 200; ++i) {
      // The same entropy every time: the process's counter alone must keep them apart.
      std::string suffix = platform::uniqueNameSuffix(42, c.namesTellCasesApart);
      ASSERT_EQ(suffix.size(), 6u);
      EXPECT_EQ(suffix.find_first_not_of(c.alphabet), std::string::npos) << suffix;
      upperSeen =
          upperSeen || suffix.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos;
      seen.insert(suffix);
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_EQ(upperSeen, c.namesTellCasesApart);
  }
}

TEST(PlatformCommon, ModuleOverridesAreSetAndRemovedByName) {
  EXPECT_EQ(platform::moduleFileOverride("STAND-IN"), "");
  platform::setModuleFileOverride("STAND-IN", "/some/where/module");
  EXPECT_EQ(platform::moduleFileOverride("STAND-IN"), "/some/where/module");
  EXPECT_EQ(platform::moduleFileOverride("OTHER"), "");
  platform::setModuleFileOverride("STAND-IN", nullptr);
  EXPECT_EQ(platform::moduleFileOverride("STAND-IN"), "");
}

TEST(PlatformCommon, ServicesAreTheReplacementWhileInstalledAndTheSystemsAfter) {
  platform::MemoryService* systemMemory = &platform::memory();
  platform::MessageService* systemMessages = &platform::messages();
  {
    RecordingMessages recorded;
    FailingMemory failing;
    EXPECT_EQ(&platform::messages(), &recorded);
    EXPECT_EQ(&platform::memory(), &failing);
    platform::messages().trace("seen");
    EXPECT_EQ(recorded.traced, std::vector<std::string>{"seen"});
    EXPECT_EQ(platform::memory().allocate(1, false), nullptr);
  }
  EXPECT_EQ(&platform::memory(), systemMemory);
  EXPECT_EQ(&platform::messages(), systemMessages);
}

}  // namespace
