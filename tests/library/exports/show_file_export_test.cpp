#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "fakes/test_string.h"
#include "fakes/xdg_desktop.h"
#include "library/exports/exports.h"

namespace {

// A private desktop whose plain-text program records its working directory and arguments.
class RecordingDesktop {
 public:
  RecordingDesktop() {
    std::string record = desktop_.folder().file("record");
    std::string script =
        desktop_.addScript("record.sh", "#!/bin/sh\n{ pwd; printf '%s\\n' \"$@\"; } > '" + record +
                                            ".tmp'\nmv '" + record + ".tmp' '" + record + "'\n");
    desktop_.addEntry("recorder.desktop",
                      "[Desktop Entry]\nType=Application\nExec=" + script + " %f\n");
    desktop_.makeDefault("recorder.desktop");
    std::filesystem::create_directories(desktop_.folder().path() / "docs");
  }
  std::string folder() const { return desktop_.folder().file("docs"); }
  std::string addDocument(const std::string& name) const {
    return desktop_.folder().write("docs/" + name, "plain text\n");
  }
  bool started() const {
    std::string record = desktop_.folder().file("record");
    for (int i = 0; i < 400 && !std::filesystem::exists(record); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return std::filesystem::exists(record);
  }
  std::string record() const { return desktop_.folder().read("record"); }
  bool recorded() const { return std::filesystem::exists(desktop_.folder().file("record")); }

 private:
  XdgDesktop desktop_;
};

TEST(ShowFile, StartsTheProgramInTheSystemDirectoryAndKeepsOurs) {
  RecordingDesktop desktop;
  std::string document = desktop.addDocument("doc.txt");
  std::filesystem::path before = std::filesystem::current_path();
  TestString directory = TestString::latin1(desktop.folder());
  TestString file = TestString::latin1(document);
  EXPECT_EQ(Kestrilo_showFile(nullptr, directory.handle(), file.handle()), 1);
  EXPECT_EQ(std::filesystem::current_path(), before);
  ASSERT_TRUE(desktop.started());
  EXPECT_EQ(desktop.record(), "/\n" + document + "\n");
}

class RelativeName : public testing::TestWithParam<const char*> {};

// The name is looked up in the directory and handed over whole, as an absolute path.
TEST_P(RelativeName, ReachesTheProgramAsItsAbsolutePath) {
  RecordingDesktop desktop;
  std::string document = desktop.addDocument(GetParam());
  TestString directory = TestString::latin1(desktop.folder());
  TestString file = TestString::latin1(GetParam());
  EXPECT_EQ(Kestrilo_showFile(nullptr, directory.handle(), file.handle()), 1);
  ASSERT_TRUE(desktop.started());
  EXPECT_EQ(desktop.record(), "/\n" + document + "\n");
}

INSTANTIATE_TEST_SUITE_P(ShowFile, RelativeName,
                         testing::Values("--help", "-rf", "+cmd", "two words.txt", "a;b 'c'.txt",
                                         "$(touch x).txt"));

TEST(ShowFile, ANameLongerThan255CharactersOpensNothing) {
  RecordingDesktop desktop;
  std::string document = desktop.addDocument("doc.txt");
  TestString directory = TestString::latin1(desktop.folder());
  TestString file = TestString::latin1(document + std::string(300, '/'));
  EXPECT_EQ(Kestrilo_showFile(nullptr, directory.handle(), file.handle()), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(desktop.recorded());
}

}  // namespace
