// The search for the Java VM's library: the order of the places, a candidate that is no VM passed
// over, and what the user is told of each place. The fake installation's libjvm.so loads but has
// no JNI_CreateJavaVM (fake_jvm.c); the search is pointed at it through JAVA_HOME, with a PATH
// that holds no java.
#include "platform/java_vm_search.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fakes/temp_folder.h"
#include "platform/platform.h"

namespace {

using Lines = std::vector<std::string>;

// Sets an environment variable for the life of the object (unset with no value), then puts the
// old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

const std::string kFakeJdk = TAVOLIN_FAKE_JDK;
const std::string kFakeLibrary = kFakeJdk + "/lib/server/libjvm.so";
const std::string kDefaultJava = "/usr/lib/jvm/default-java";

// What the search says of the runtime bundled beside the running program (this test), which has
// none.
std::string bundledLine() {
  return platform::executableFolder() +
         "/runtime (the runtime bundled with the launcher): " + "no such folder";
}

// What the search says of the system's default Java on this machine; empty when a real VM is
// there, which the search would then take.
std::string defaultJavaLine() {
  std::string where = kDefaultJava + " (the system's default Java): ";
  if (!std::filesystem::exists(kDefaultJava)) return where + "no such folder";
  if (std::filesystem::exists(kDefaultJava + "/lib/server/libjvm.so")) return {};
  return where + "no libjvm.so in it";
}

struct SearchCase {
  const char* name;
  std::optional<std::string> javaHome;  // JAVA_HOME; none: unset
  const char* entryPoint;
  bool found;
  Lines looked;  // after bundledLine(), with "<default>" standing for defaultJavaLine()
};

TEST(JavaVmSearch, EachPlaceIsTriedInTurnAndAccountedFor) {
  if (defaultJavaLine().empty()) GTEST_SKIP() << kDefaultJava << " holds a Java VM";
  TempFolder scratch;
  std::string empty = scratch.path().string() + "/empty";
  std::filesystem::create_directories(empty);

  const std::vector<SearchCase> cases = {
      {"a library with the entry point is taken", kFakeJdk, "tavolin_not_a_vm", true, {}},
      {"a library without it is passed over",
       kFakeJdk,
       "JNI_CreateJavaVM",
       false,
       {kFakeJdk + " (JAVA_HOME): " + kFakeLibrary + " has no JNI_CreateJavaVM",
        "PATH: no java program", "<default>"}},
      {"no JAVA_HOME",
       std::nullopt,
       "JNI_CreateJavaVM",
       false,
       {"JAVA_HOME: not set", "PATH: no java program", "<default>"}},
      {"JAVA_HOME names no folder",
       "/nonexistent/jdk",
       "JNI_CreateJavaVM",
       false,
       {"/nonexistent/jdk (JAVA_HOME): no such folder", "PATH: no java program", "<default>"}},
      {"JAVA_HOME holds no libjvm.so",
       empty,
       "JNI_CreateJavaVM",
       false,
       {empty + " (JAVA_HOME): no libjvm.so in it", "PATH: no java program", "<default>"}},
  };
  ScopedVariable path("PATH", scratch.path().string());
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedVariable javaHome("JAVA_HOME", c.javaHome);
    Lines looked{"left from before"};
    platform::ModuleHandle module = platform::loadJavaVmModule(c.entryPoint, looked);
    EXPECT_EQ(module != nullptr, c.found);
    Lines expected;
    if (!c.found) expected.push_back(bundledLine());
    expected.insert(expected.end(), c.looked.begin(), c.looked.end());
    for (std::string& line : expected) {
      if (line == "<default>") line = defaultJavaLine();
    }
    EXPECT_EQ(looked, expected);
    platform::freeModule(module);
  }
}

TEST(JavaVmSearch, ALibraryThatDoesNotLoadIsPassedOverWithTheLoadersReason) {
  if (defaultJavaLine().empty()) GTEST_SKIP() << kDefaultJava << " holds a Java VM";
  TempFolder scratch;
  std::filesystem::create_directories(scratch.path() / "jdk/lib/server");
  std::string library = scratch.write("jdk/lib/server/libjvm.so", "not a library\n");
  ScopedVariable path("PATH", scratch.path().string());
  ScopedVariable javaHome("JAVA_HOME", scratch.file("jdk"));
  Lines looked;
  EXPECT_EQ(platform::loadJavaVmModule("JNI_CreateJavaVM", looked), nullptr);
  ASSERT_EQ(looked.size(), 4u);
  EXPECT_EQ(looked[0], bundledLine());
  std::string start = scratch.file("jdk") + " (JAVA_HOME): " + library + " cannot be loaded (";
  EXPECT_EQ(looked[1].substr(0, start.size()), start);
  EXPECT_EQ(looked[2], "PATH: no java program");
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

platform::ModuleHandle loadLibrary(const std::string& file, std::string&) {
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// The walk with the bundled runtime first, as both systems' layers give it: a runtime laid out as
// jlink lays one out is taken before any installation after it; without one, it is said so and
// the next place is taken.
TEST(JavaVmSearch, TheBundledRuntimeComesFirst) {
  TempFolder launcher;
  std::filesystem::create_directories(launcher.path() / "runtime/lib/server");
  std::string bundled = launcher.file("runtime/lib/server/libjvm.so");
  // A copy, not a link: a file of its own, so that the loader tells it from the one under
  // JAVA_HOME.
  std::filesystem::copy_file(kFakeLibrary, bundled);
  TempFolder bare;
  struct Case {
    const char* name;
    std::string launcherFolder;
    Lines looked;  // when nothing was taken
  } cases[] = {
      {"a bundled runtime", launcher.path().string(), {}},
      {"none bundled",
       bare.path().string(),
       {bare.file("runtime") + " (the runtime bundled with the launcher): no such folder",
        kFakeJdk + " (JAVA_HOME): " + kFakeLibrary + " has no JNI_CreateJavaVM"}},
      {"the launcher's folder unknown",
       "",
       {"the bundled runtime: the launcher's folder is unknown",
        kFakeJdk + " (JAVA_HOME): " + kFakeLibrary + " has no JNI_CreateJavaVM"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<platform::JavaHome> homes = {platform::bundledRuntime(c.launcherFolder, '/'),
                                             {kFakeJdk, "JAVA_HOME", ""}};
    platform::JavaVmPlaces places{homes, {"/lib/server/libjvm.so"}, exists, exists, loadLibrary};
    // The fake's own function, so that a library found is taken.
    Lines looked;
    platform::ModuleHandle module = platform::findJavaVm(
        places, c.looked.empty() ? "tavolin_not_a_vm" : "JNI_CreateJavaVM", looked);
    EXPECT_EQ(module != nullptr, c.looked.empty());
    EXPECT_EQ(looked, c.looked);
    if (module) {
      Dl_info info{};
      ASSERT_NE(dladdr(platform::findSymbol(module, "tavolin_not_a_vm"), &info), 0);
      EXPECT_EQ(std::string(info.dli_fname), bundled) << "taken from the bundled runtime";
    }
    platform::freeModule(module);
  }
}

}  // namespace
