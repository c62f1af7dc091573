#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/temp_folder.h"
#include "platform/platform.h"

namespace {

TEST(PlatformFiles, NativeNamesAreUtf8OfLatin1) {
  EXPECT_EQ(platform::nativeName("plain/name.txt"), "plain/name.txt");
  EXPECT_EQ(platform::nativeName("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(platform::nativeName("\xFF\x80"), "\xC3\xBF\xC2\x80");
  EXPECT_EQ(platform::nativeName(""), "");
}

TEST(PlatformFiles, SiblingTempFileReplacesTheTarget) {
  TempFolder folder;
  std::string target = folder.write("pic\xC3\xA9.gif", "old");
  std::string latin1Target = folder.file("pic\xE9.gif");
  std::string tempName;
  platform::FileHandle file = platform::createSiblingTempFile(latin1Target.c_str(), tempName);
  ASSERT_NE(file, platform::kInvalidFile);
  EXPECT_EQ(tempName.compare(0, latin1Target.size(), latin1Target), 0);
  ASSERT_EQ(platform::writeFile(file, "new", 3), 3);
  platform::closeFile(file);
  EXPECT_EQ(folder.read("pic\xC3\xA9.gif"), "old");
  ASSERT_TRUE(platform::replaceFile(tempName.c_str(), latin1Target.c_str()));
  EXPECT_EQ(folder.read("pic\xC3\xA9.gif"), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(PlatformDirectories, SavedDirectoryComesBack) {
  TempFolder folder;
  std::filesystem::path before = std::filesystem::current_path();
  {
    platform::SavedDirectory saved;
    ASSERT_TRUE(platform::setCurrentDirectory(folder.path().c_str()));
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(folder.path()));
    EXPECT_TRUE(saved.restore());
  }
  EXPECT_EQ(std::filesystem::current_path(), before);
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
