#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(PlatformFiles, SiblingReplacesTheTargetInOneStep) {
  TempFolder folder;
  folder.write("pic\xC3\xA9.gif", "old");
  std::string utf8Target = folder.file("pic\xC3\xA9.gif");
  platform::ReplacementTarget target;
  ASSERT_TRUE(platform::findReplacementTarget(utf8Target.c_str(), target));
  EXPECT_TRUE(target.exists);
  EXPECT_EQ(target.path, folder.file("pic\xC3\xA9.gif"));
  std::string sibling;
  bool refused = true;
  platform::FileHandle file = platform::createSibling(target, sibling, refused);
  ASSERT_NE(file, platform::kInvalidFile);
  EXPECT_FALSE(refused);
  EXPECT_EQ(std::filesystem::path(sibling).parent_path(), folder.path());
  ASSERT_EQ(platform::writeFile(file, "new", 3), 3);
  EXPECT_TRUE(platform::closeFile(file));
  EXPECT_EQ(folder.read("pic\xC3\xA9.gif"), "old");
  ASSERT_TRUE(platform::moveSiblingInPlace(sibling, target));
  EXPECT_EQ(folder.read("pic\xC3\xA9.gif"), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(PlatformFiles, SiblingNamesFitBesideTheLongestBaseName) {
  TempFolder folder;
  const std::string longest(255, 'n');
  folder.write(longest, "old");
  platform::ReplacementTarget target;
  ASSERT_TRUE(platform::findReplacementTarget(folder.file(longest).c_str(), target));
  std::string sibling;
  bool refused = false;
  platform::FileHandle file = platform::createSibling(target, sibling, refused);
  ASSERT_NE(file, platform::kInvalidFile);
  platform::closeFile(file);
  EXPECT_LE(std::filesystem::path(sibling).filename().string().size(), 16u);
  platform::removeSibling(sibling);
  EXPECT_FALSE(std::filesystem::exists(sibling));
}

TEST(PlatformFiles, SiblingsGetTheTargetsPermissionsAndOtherwiseTheUmasks) {
  TempFolder folder;
  std::string name = folder.write("private.txt", "old");
  std::filesystem::permissions(
      name, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  struct Case {
    std::string name;
    std::filesystem::perms expected;
  };
  const std::vector<Case> cases = {
      {name, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write},
      {folder.file("new.txt"), static_cast<std::filesystem::perms>(0666 & ~processUmask())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::ReplacementTarget target;
    ASSERT_TRUE(platform::findReplacementTarget(c.name.c_str(), target));
    std::string sibling;
    bool refused = false;
    platform::FileHandle file = platform::createSibling(target, sibling, refused);
    ASSERT_NE(file, platform::kInvalidFile);
    platform::closeFile(file);
    EXPECT_EQ(std::filesystem::status(sibling).permissions(), c.expected);
    platform::removeSibling(sibling);
  }
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
