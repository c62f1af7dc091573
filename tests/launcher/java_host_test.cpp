#include "launcher/java_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fakes/recording_services.h"
#include "launcher/fake_vm_layer.h"

namespace {

using launcher::JavaHost;
using launcher::kDetailBufferSize;
using Calls = std::vector<std::string>;

struct StartCase {
  const char* name;
  FakeVmScript script;
  bool started;
  std::string detail;
  Calls calls;
};

TEST(JavaHost, StartVmPairsInitialiseAndTerminate) {
  FakeVmScript initialiseFails, obtainFails, obtainFailsWithHint, createFails;
  initialiseFails.initialiseFails = true;
  obtainFails.obtainFails = true;
  obtainFailsWithHint.obtainFails = true;
  obtainFailsWithHint.whereLooked = "Looked in:\n  /opt/jdk (JAVA_HOME): no libjvm.so in it";
  createFails.createFails = true;
  // A hint is only for a missing VM: a VM that exists but cannot be created has nothing to add.
  createFails.whereLooked = "not to be shown";
  const std::vector<StartCase> cases = {
      {"COM-like initialisation fails: no terminate",
       initialiseFails,
       false,
       "can't init OLE",
       {"initialise"}},
      {"no VM", obtainFails, false, "can't init JVM", {"initialise", "obtainVm", "terminate"}},
      {"no VM, and where the layer looked",
       obtainFailsWithHint,
       false,
       "can't init JVM\nLooked in:\n  /opt/jdk (JAVA_HOME): no libjvm.so in it",
       {"initialise", "obtainVm", "terminate"}},
      {"VM cannot be created",
       createFails,
       false,
       "ClassLoader failed",
       {"initialise", "obtainVm", "createVm", "release factory", "terminate"}},
      {"started", {}, true, "", {"initialise", "obtainVm", "createVm", "release factory"}},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeVmLayer layer(c.script);
    JavaHost host(layer);
    char detail[kDetailBufferSize] = {};
    EXPECT_EQ(host.startVm(detail), c.started);
    EXPECT_EQ(std::string(detail), c.detail);
    EXPECT_EQ(host.vm != nullptr, c.started);
    EXPECT_EQ(layer.recorded(), c.calls);
  }
}

TEST(JavaHost, ReleaseVmReleasesAndTerminatesOnlyWhenAVmIsHeld) {
  FakeVmLayer started;
  JavaHost host(started);
  char detail[kDetailBufferSize] = {};
  ASSERT_TRUE(host.startVm(detail));
  host.releaseVm();
  EXPECT_EQ(started.recorded(), (Calls{"initialise", "obtainVm", "createVm", "release factory",
                                       "release vm", "terminate"}));

  FakeVmScript script;
  script.obtainFails = true;
  FakeVmLayer empty(script);
  JavaHost emptyHost(empty);
  EXPECT_FALSE(emptyHost.startVm(detail));
  emptyHost.releaseVm();
  EXPECT_EQ(empty.recorded(), (Calls{"initialise", "obtainVm", "terminate"}));
}

struct ExecuteCase {
  const char* name;
  launcher::VmStatus status;
  bool returnsError;
  bool hasDescription;
  std::u16string description;
  int result;
  std::string detail;
  Calls callsAfterExecute;
};

TEST(JavaHost, ExecuteClassTurnsTheOutcomeIntoAResultAndDetail) {
  const std::u16string thrown = u"java.lang.IllegalStateException: caf\u00e9 \u20ac \U0001F600";
  const std::vector<ExecuteCase> cases = {
      {"clean run", launcher::kVmOk, false, true, u"", 1, "", {}},
      {"error with a description, in 8 bits",
       launcher::kVmOk,
       true,
       true,
       thrown,
       0,
       "java.lang.IllegalStateException: caf\xE9 ? ?",
       {"describe", "release error"}},
      {"error without a description",
       launcher::kVmOk,
       true,
       false,
       u"",
       0,
       "unknown error executing class",
       {"describe", "release error"}},
      {"failing status, error not consulted",
       launcher::kVmFailed,
       true,
       true,
       thrown,
       0,
       "can't execute class",
       {"release error"}},
      {"failing status alone", -2147467259, false, true, u"", 0, "can't execute class", {}},
  };
  for (const ExecuteCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeVmScript script;
    script.executeStatus = c.status;
    script.returnsError = c.returnsError;
    script.errorHasDescription = c.hasDescription;
    script.description = c.description;
    FakeVmLayer layer(script);
    JavaHost host(layer);
    char detail[kDetailBufferSize] = {};
    ASSERT_TRUE(host.startVm(detail));
    EXPECT_EQ(host.executeClass("Fennaquil", detail), c.result);
    EXPECT_EQ(std::string(detail), c.detail);
    Calls calls = layer.recorded();
    Calls after(calls.begin() + 5, calls.end());  // past the start and the execute call
    EXPECT_EQ(calls[4], "execute");
    EXPECT_EQ(after, c.callsAfterExecute);
  }
}

TEST(JavaHost, ExecuteClassHandsTheVmTheRecord) {
  FakeVmLayer layer;
  JavaHost host(layer);
  char detail[kDetailBufferSize] = {};
  ASSERT_TRUE(host.startVm(detail));
  ASSERT_EQ(host.executeClass("Fennaquil", detail), 1);
  EXPECT_EQ(layer.seenName, u"Fennaquil");
  EXPECT_EQ(layer.seenRecord.size, sizeof(launcher::ExecutionRecord));
  EXPECT_EQ(layer.seenRecord.flags, 2u);
  EXPECT_EQ(layer.seenRecord.arguments, 0u);
  EXPECT_EQ(layer.seenRecord.argumentCount, 0u);
  EXPECT_EQ(layer.seenRecord.classPath, 0u);
}

TEST(JavaHost, ALongDescriptionIsCutToTheDetailBuffer) {
  FakeVmScript script;
  script.returnsError = true;
  script.description = std::u16string(5000, u'x');
  FakeVmLayer layer(script);
  JavaHost host(layer);
  std::string guarded(kDetailBufferSize + 16, '#');
  ASSERT_TRUE(host.startVm(guarded.data()));
  EXPECT_EQ(host.executeClass("Fennaquil", guarded.data()), 0);
  EXPECT_EQ(std::strlen(guarded.c_str()), kDetailBufferSize - 1);
  EXPECT_EQ(guarded.substr(kDetailBufferSize), std::string(16, '#'));
}

TEST(JavaHost, ALongAccountOfWhereTheVmWasLookedForIsCutToTheDetailBuffer) {
  FakeVmScript script;
  script.obtainFails = true;
  script.whereLooked = std::string(5000, 'z');
  FakeVmLayer layer(script);
  JavaHost host(layer);
  std::string guarded(kDetailBufferSize + 16, '#');
  EXPECT_FALSE(host.startVm(guarded.data()));
  EXPECT_EQ(std::string(guarded.c_str()),
            ("can't init JVM\n" + script.whereLooked).substr(0, kDetailBufferSize - 1));
  EXPECT_EQ(guarded.substr(kDetailBufferSize), std::string(16, '#'));
}

TEST(JavaHost, ExecuteClassWithoutMemoryForTheNameFailsWithoutCallingTheVm) {
  FakeVmLayer layer;
  JavaHost host(layer);
  char detail[kDetailBufferSize] = {};
  ASSERT_TRUE(host.startVm(detail));
  FailingMemory noMemory;
  EXPECT_EQ(host.executeClass("Fennaquil", detail), 0);
  EXPECT_EQ(std::string(detail), "can't execute class");
  EXPECT_EQ(layer.recorded().size(), 4u);
}

struct WideCase {
  const char* text;
  std::ptrdiff_t length;
  std::u16string expected;  // including the terminating zero
};

TEST(JavaHost, ToWideWidensLatin1) {
  const std::vector<WideCase> cases = {
      {"caf\xE9", -1, std::u16string(u"caf\u00e9") + u'\0'},
      {"abc", 2, std::u16string(u"ab") + u'\0'},
      {"", -1, std::u16string(1, u'\0')},
      {"\xFF\x80", -1, std::u16string(u"\u00ff\u0080") + u'\0'},
  };
  for (const WideCase& c : cases) {
    SCOPED_TRACE(c.text);
    char16_t* wide = launcher::toWide(c.text, c.length);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide, c.expected.size()), c.expected);
    platform::memory().release(wide);
  }
  FailingMemory noMemory;
  EXPECT_EQ(launcher::toWide("abc", -1), nullptr);
}

struct NarrowCase {
  const char* name;
  std::u16string text;
  std::ptrdiff_t length;
  std::string expected;  // exactly the converted bytes
};

TEST(JavaHost, ToNarrowGivesOneByteACharacter) {
  const std::vector<NarrowCase> cases = {
      {"Latin-1 and beyond", u"\u00e9\u20ac\U0001F600!", -1,
       std::string("\xE9?"
                   "?!") +
           '\0'},
      {"lone surrogates", u"\xD800x\xDC00", -1, std::string("?x?") + '\0'},
      {"counted, no zero", u"abcdef", 3, "abc"},
      {"empty with its zero", u"", -1, std::string(1, '\0')},
  };
  for (const NarrowCase& c : cases) {
    SCOPED_TRACE(c.name);
    char* narrow = launcher::toNarrow(c.text.c_str(), c.length);
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(std::string(narrow, c.expected.size()), c.expected);
    platform::memory().release(narrow);
  }
  EXPECT_EQ(launcher::toNarrow(u"abc", 0), nullptr);
  FailingMemory noMemory;
  EXPECT_EQ(launcher::toNarrow(u"abc", -1), nullptr);
}

}  // namespace
