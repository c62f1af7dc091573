#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fakes/temp_folder.h"
#include "platform/platform.h"

namespace {

// The process's umask, as the kernel reports it (reading it with umask() would change it).
unsigned processUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

// Names cross the platform layer in UTF-8 and reach the kernel as they are.
TEST(PlatformFiles, NativeNamesAreTheNamesThemselves) {
  EXPECT_EQ(platform::nativeName("plain/name.txt"), "plain/name.txt");
  EXPECT_EQ(platform::nativeName("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(platform::nativeName("\xE9"), "\xE9");  // not UTF-8, and still not changed
  EXPECT_EQ(platform::nativeName(""), "");
  EXPECT_EQ(platform::nativeName(nullptr), "");
}

std::size_t entriesIn(const std::filesystem::path& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                std::filesystem::directory_iterator()));
}

unsigned modeOf(platform::FileHandle file) {
  struct stat info {};
  return ::fstat(static_cast<int>(file), &info) == 0 ? info.st_mode & 07777 : 07777;
}

// The new file has no name until it takes the target's, also beside the longest base name, and
// before that it has no more access than the target (a new name: what the umask leaves).
TEST(PlatformFiles, SiblingReplacesTheTargetInOneStep) {
  TempFolder folder;
  folder.write("pic\xC3\xA9.gif", "old");
  std::filesystem::permissions(folder.file("pic\xC3\xA9.gif"),
                               static_cast<std::filesystem::perms>(0640));
  const std::string longest(255, 'n');
  folder.write(longest, "old");
  struct Case {
    std::string name;
    bool exists;
    unsigned mode;  // of the new file, before and after it is placed
  };
  const std::vector<Case> cases = {
      {"pic\xC3\xA9.gif", true, 0640},
      {longest, true, 0644 & ~processUmask() & 0777},
      {"new.txt", false, 0666 & ~processUmask()},
  };
  std::filesystem::permissions(folder.file(longest),
                               static_cast<std::filesystem::perms>(cases[1].mode));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::ReplacementTarget target;
    ASSERT_EQ(platform::findReplacementTarget(folder.file(c.name).c_str(), target),
              platform::FileFault::kNone);
    EXPECT_EQ(target.exists, c.exists);
    EXPECT_EQ(target.path, folder.file(c.name));
    std::string sibling = "unset";
    platform::FileFault fault = platform::FileFault::kFailed;
    platform::FileHandle file = platform::createSibling(target, sibling, fault);
    ASSERT_NE(file, platform::kInvalidFile);
    EXPECT_EQ(fault, platform::FileFault::kNone);
    EXPECT_EQ(sibling, "");
    EXPECT_EQ(modeOf(file), c.mode);
    ASSERT_EQ(platform::writeFile(file, "new", 3), 3);
    EXPECT_EQ(entriesIn(folder.path()), 2u);
    ASSERT_EQ(platform::placeSibling(file, sibling, target), platform::FileFault::kNone);
    EXPECT_EQ(file, platform::kInvalidFile);
    platform::releaseReplacementTarget(target);
    EXPECT_EQ(folder.read(c.name), "new");
    EXPECT_EQ(std::filesystem::status(folder.file(c.name)).permissions(),
              static_cast<std::filesystem::perms>(c.mode));
  }
  EXPECT_EQ(entriesIn(folder.path()), 3u);
}

// A kernel setting set for the life of the object, then put back.
struct KernelSetting {
  KernelSetting(const char* path, const std::string& value) : path(path) {
    std::ifstream(path) >> old;
    std::ofstream(path) << value;
    std::ifstream(path) >> now;
  }
  ~KernelSetting() { std::ofstream(path) << old; }
  std::string path, old, now;
};

// Links and files that another user put in a sticky folder are refused where a plain open of the
// name is refused (fs.protected_symlinks, fs.protected_regular), also for root, and nothing is
// written through them or made where they point.
TEST(PlatformFiles, TheKernelsProtectionsApplyToTheTarget) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: the links and files belong to another user";
  KernelSetting links("/proc/sys/fs/protected_symlinks", "1");
  KernelSetting regular("/proc/sys/fs/protected_regular", "1");
  if (links.now != "1" || regular.now != "1") {
    GTEST_SKIP() << "the kernel's protections cannot be set";
  }
  TempFolder shared;
  TempFolder secret;
  std::filesystem::permissions(shared.path(), static_cast<std::filesystem::perms>(01777));
  const std::string kept = secret.write("kept", "secret");
  const std::string planted = shared.write("planted", "theirs");
  ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
  const std::vector<std::pair<std::string, std::string>> links_to = {
      {"to a file", kept}, {"to nothing", secret.file("made")}};
  std::vector<std::string> names = {planted};
  for (const auto& [what, where] : links_to) {
    names.push_back(shared.file(what));
    std::filesystem::create_symlink(where, names.back());
    ASSERT_EQ(::lchown(names.back().c_str(), 65534, 65534), 0);
  }
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const int plain = ::open(name.c_str(), O_WRONLY | O_CREAT, 0600);
    EXPECT_LT(plain, 0);
    if (plain >= 0) ::close(plain);
    platform::ReplacementTarget target;
    EXPECT_EQ(platform::findReplacementTarget(name.c_str(), target), platform::FileFault::kRefused);
    platform::releaseReplacementTarget(target);
  }
  EXPECT_EQ(secret.read("kept"), "secret");
  EXPECT_EQ(shared.read("planted"), "theirs");
  EXPECT_FALSE(std::filesystem::exists(secret.file("made")));
}

TEST(PlatformFiles, ReadersOpenOnlyOrdinaryFilesAndNeverWait) {
  TempFolder folder;
  const std::string fifo = folder.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Opening a FIFO with a plain open would wait here for a writer, for ever.
  for (const std::string& name : {fifo, std::string("/dev/null"), folder.path().string()}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(platform::openFileForReading(name.c_str()), platform::kInvalidFile);
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST(PlatformModules, ModuleFolderOfThisProgram) {
  std::string folder = platform::moduleFolder(reinterpret_cast<const void*>(&platform::nativeName));
  EXPECT_FALSE(folder.empty());
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST(PlatformModules, MissingModuleGivesNull) {
  EXPECT_EQ(platform::loadModule("/nonexistent/libnothing.so"), nullptr);
  EXPECT_EQ(platform::findSymbol(nullptr, "FCICreate"), nullptr);
}

}  // namespace
