#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/exports/exports.h"

namespace {

// A desktop whose plain-text program records that it was started.
class RecordingDesktop {
 public:
  RecordingDesktop() {
    folder_.write("record.sh", "#!/bin/sh\npwd > " + folder_.file("record.tmp") + "\nmv " +
                                   folder_.file("record.tmp") + " " + folder_.file("record") +
                                   "\n");
    std::filesystem::permissions(folder_.file("record.sh"), std::filesystem::perms::owner_all);
    std::filesystem::create_directories(folder_.path() / "data/applications");
    folder_.write("data/applications/recorder.desktop",
                  "[Desktop Entry]\nType=Application\nExec=" + folder_.file("record.sh") +
                      " %f\n");
    folder_.write("mimeapps.list", "[Default Applications]\ntext/plain=recorder.desktop\n");
    document_ = folder_.write("doc.txt", "plain text\n");
    setenv("XDG_DATA_HOME", folder_.file("data").c_str(), 1);
    setenv("XDG_DATA_DIRS", folder_.file("data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);
  }
  ~RecordingDesktop() {
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_DIRS");
    unsetenv("XDG_CONFIG_HOME");
  }
  std::string folder() const { return folder_.path().string(); }
  const std::string& document() const { return document_; }
  bool started() const {
    for (int i = 0; i < 200 && !std::filesystem::exists(folder_.file("record")); ++i) {
      std::system("sleep 0.05");
    }
    return std::filesystem::exists(folder_.file("record"));
  }
  std::string workingDirectory() const { return folder_.read("record"); }

 private:
  TempFolder folder_;
  std::string document_;
};

TEST(ShowFile, StartsTheProgramInTheSystemDirectoryAndKeepsOurs) {
  RecordingDesktop desktop;
  std::filesystem::path before = std::filesystem::current_path();
  TestString directory = TestString::latin1(desktop.folder());
  TestString file = TestString::latin1(desktop.document());
  EXPECT_EQ(Kestrilo_showFile(nullptr, directory.handle(), file.handle()), 1);
  EXPECT_EQ(std::filesystem::current_path(), before);
  ASSERT_TRUE(desktop.started());
  EXPECT_EQ(desktop.workingDirectory(), "/\n");
}

TEST(ShowFile, ANameLongerThan255CharactersOpensNothing) {
  RecordingDesktop desktop;
  TestString directory = TestString::latin1(desktop.folder());
  TestString file = TestString::latin1(desktop.document() + std::string(300, '/'));
  EXPECT_EQ(Kestrilo_showFile(nullptr, directory.handle(), file.handle()), 1);
  std::system("sleep 0.5");
  EXPECT_FALSE(std::filesystem::exists(desktop.folder() + "/record"));
}

}  // namespace
