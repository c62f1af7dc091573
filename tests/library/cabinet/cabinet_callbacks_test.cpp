#include "library/cabinet/cabinet_callbacks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "fakes/temp_folder.h"
#include "library/cabinet/cabinet_builder.h"

namespace {

namespace fs = std::filesystem;

class TempNames : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* previous = std::getenv("TMPDIR");
    if (previous) previous_ = previous;
    setenv("TMPDIR", folder.path().c_str(), 1);
  }
  void TearDown() override {
    if (previous_) {
      setenv("TMPDIR", previous_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  std::size_t filesInFolder() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder.path()), {}));
  }
  TempFolder folder;

 private:
  std::optional<std::string> previous_;
};

TEST_F(TempNames, ANameMustBeShorterThanTheCapacity) {
  char name[512];
  ASSERT_EQ(cabinetTempName(name, sizeof name, nullptr), 1);
  const std::string first = name;
  EXPECT_EQ(fs::path(first).parent_path(), folder.path());
  EXPECT_EQ(fs::path(first).filename().string().substr(0, 2), "xx");
  EXPECT_TRUE(fs::exists(first));
  const int length = static_cast<int>(first.size());

  std::fill(std::begin(name), std::end(name), '#');
  EXPECT_EQ(cabinetTempName(name, length, nullptr), 0);
  EXPECT_EQ(name[0], '#');
  EXPECT_EQ(filesInFolder(), 1u);  // the refused one is gone again

  EXPECT_EQ(cabinetTempName(name, length + 1, nullptr), 1);
  EXPECT_EQ(std::strlen(name), static_cast<std::size_t>(length));
  EXPECT_NE(std::string(name), first);
  EXPECT_EQ(filesInFolder(), 2u);
}

// A temporary the writer has opened has no name any more: a killed build leaves none behind, and
// the writer's own removal of it removes nothing else.
TEST_F(TempNames, AnOpenedTemporaryLosesItsName) {
  CabinetOutput output;
  char name[256];
  ASSERT_EQ(cabinetTempName(name, sizeof name, &output), 1);
  int error = 0;
  std::intptr_t file = cabinetOpen(
      name, platform::kRuntimeReadWrite | platform::kRuntimeCreate | platform::kRuntimeTruncate,
      platform::kRuntimePermissionWrite, &error, &output);
  ASSERT_NE(file, -1);
  EXPECT_EQ(filesInFolder(), 0u);
  char bytes[] = "scratch";
  EXPECT_EQ(cabinetWrite(file, bytes, 7, &error, &output), 7u);
  EXPECT_EQ(cabinetSeek(file, 0, 0, &error, &output), 0);
  char back[8] = {};
  EXPECT_EQ(cabinetRead(file, back, 7, &error, &output), 7u);
  EXPECT_STREQ(back, "scratch");
  EXPECT_EQ(cabinetClose(file, &error, &output), 0);
  folder.write(fs::path(name).filename().string(), "someone else's");
  EXPECT_EQ(cabinetDelete(name, &error, &output), 0);
  EXPECT_EQ(folder.read(fs::path(name).filename().string()), "someone else's");
}

TEST(OpenInfo, AttributesComeFromPermissionsAndName) {
  TempFolder folder;
  struct Case {
    std::string name;
    fs::perms permissions;
    std::uint16_t attributes;
  };
  const std::vector<Case> cases = {
      {"plain.txt", fs::perms::owner_read | fs::perms::owner_write, 0x20},
      {"read-only.txt", fs::perms::owner_read | fs::perms::group_write, 0x21},
      {".hidden", fs::perms::owner_read | fs::perms::owner_write, 0x22},
  };
  for (const Case& c : cases) {
    std::string path = folder.write(c.name, "contents");
    fs::permissions(path, c.permissions);
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    std::uint16_t attributes = 0xFFFF;
    int error = 12345;
    std::intptr_t file = cabinetOpenInfo(path.data(), &date, &time, &attributes, &error, nullptr);
    ASSERT_NE(file, -1) << c.name;
    EXPECT_EQ(attributes, c.attributes) << c.name;
    EXPECT_EQ(error, 12345);
    char buffer[16] = {};
    EXPECT_EQ(cabinetRead(file, buffer, 8, &error, nullptr), 8u);
    EXPECT_EQ(std::string(buffer), "contents");
    EXPECT_EQ(cabinetClose(file, &error, nullptr), 0);
  }
}

TEST(OpenInfo, DateAndTimeAreTheLocalLastWrite) {
  TempFolder folder;
  std::string path = folder.write("dated.txt", "x");
  std::uint16_t date = 0, time = 0, attributes = 0;
  int error = 0;
  std::intptr_t file = cabinetOpenInfo(path.data(), &date, &time, &attributes, &error, nullptr);
  ASSERT_NE(file, -1);
  cabinetClose(file, &error, nullptr);
  // Just written: the date is today's, which is at least 2024 and not past 2107.
  int year = 1980 + (date >> 9);
  EXPECT_GE(year, 2024);
  EXPECT_LE(year, 2107);
  EXPECT_GE((date >> 5) & 0xF, 1);
  EXPECT_LE((date >> 5) & 0xF, 12);
  EXPECT_LE(time >> 11, 23);
}

TEST(OpenInfo, AMissingFileOrAFolderIsNotOpened) {
  TempFolder folder;
  for (std::string name : {folder.file("missing"), folder.path().string()}) {
    std::uint16_t date = 0, time = 0, attributes = 0;
    int error = 7;
    EXPECT_EQ(cabinetOpenInfo(name.data(), &date, &time, &attributes, &error, nullptr), -1);
    EXPECT_EQ(error, 7);
  }
}

TEST(FileCallbacks, FailuresStoreTheErrorNumber) {
  TempFolder folder;
  std::string missing = folder.file("missing");
  int error = 0;
  EXPECT_EQ(cabinetOpen(missing.data(), platform::kRuntimeReadOnly, 0, &error, nullptr), -1);
  EXPECT_NE(error, 0);
  error = 0;
  EXPECT_EQ(cabinetDelete(missing.data(), &error, nullptr), -1);
  EXPECT_NE(error, 0);

  std::string name = folder.file("made");
  error = 0;
  std::intptr_t file = cabinetOpen(
      name.data(),
      platform::kRuntimeReadWrite | platform::kRuntimeCreate | platform::kRuntimeBinary,
      platform::kRuntimePermissionRead | platform::kRuntimePermissionWrite, &error, nullptr);
  ASSERT_NE(file, -1);
  char data[] = "0123456789";
  EXPECT_EQ(cabinetWrite(file, data, 10, &error, nullptr), 10u);
  EXPECT_EQ(cabinetSeek(file, 4, 0, &error, nullptr), 4);
  char back[4] = {};
  EXPECT_EQ(cabinetRead(file, back, 4, &error, nullptr), 4u);
  EXPECT_EQ(std::string(back, 4), "4567");
  EXPECT_EQ(error, 0);
  // Reading past the end is short, which the writer's read counts as a failure.
  EXPECT_EQ(cabinetRead(file, back, 4, &error, nullptr), 2u);
  EXPECT_EQ(cabinetClose(file, &error, nullptr), 0);
  EXPECT_EQ(cabinetDelete(name.data(), &error, nullptr), 0);
  EXPECT_FALSE(fs::exists(name));
}

// The cabinet is the file the writer creates where the parameters put it, joined either way the
// two writers join a path and a name; every other create (a temporary file) is a plain file.
TEST(CabinetOutputFile, TakesOnlyTheLocationTheParametersName) {
  struct Case {
    const char* path;
    const char* created;
    bool taken;
  } cases[] = {
      {"/d", "/d/out.cab", true},     {"/d", "/dout.cab", true},     {"/d/", "/d/out.cab", true},
      {"d\\", "d\\out.cab", true},    {"/d/", "/d//out.cab", false}, {"/d", "/d/other.cab", false},
      {"/d", "/tmp/xxAb12Cd", false}, {"", "out.cab", true},         {"/d", nullptr, false},
  };
  CabinetOutput unregistered;
  EXPECT_FALSE(unregistered.takesAsCabinet("out.cab"));
  for (const Case& c : cases) {
    CCAB parameters{};
    fillCabinetParameters(parameters, c.path, "out.cab");
    CabinetOutput output;
    output.expectCabinet(parameters);
    EXPECT_EQ(output.takesAsCabinet(c.created), c.taken)
        << c.path << " " << (c.created ? c.created : "(null)");
  }
}

// The system's own writer makes the cabinet with a provisional signature and comes back to put
// the real one in once everything else is written.
TEST(CabinetOutputFile, TakesWritesAfterASeekBackAndKeepsTheOldFileUntilCommitted) {
  TempFolder folder;
  std::string name = folder.write("out.cab", "previous cabinet");
  CCAB parameters{};
  fillCabinetParameters(parameters, folder.path().c_str(), "out.cab");
  CabinetOutput output;
  output.expectCabinet(parameters);
  int error = 0;
  std::intptr_t file = cabinetOpen(
      name.data(),
      platform::kRuntimeReadWrite | platform::kRuntimeCreate | platform::kRuntimeTruncate |
          platform::kRuntimeBinary,
      platform::kRuntimePermissionRead | platform::kRuntimePermissionWrite, &error, &output);
  ASSERT_EQ(file, output.handle());
  char body[] = "!CAB and the rest";
  EXPECT_EQ(cabinetWrite(file, body, 17, &error, &output), 17u);
  EXPECT_EQ(cabinetSeek(file, 0, 0, &error, &output), 0);
  char signature[] = "MSCF";
  EXPECT_EQ(cabinetWrite(file, signature, 4, &error, &output), 4u);
  EXPECT_EQ(cabinetSeek(file, 0, 2, &error, &output), 17);
  EXPECT_EQ(cabinetSeek(file, -18, 1, &error, &output), -1);
  char back[4];
  EXPECT_EQ(cabinetRead(file, back, 4, &error, &output), static_cast<unsigned int>(-1));
  EXPECT_EQ(cabinetClose(file, &error, &output), 0);
  EXPECT_EQ(folder.read("out.cab"), "previous cabinet");
  ASSERT_TRUE(output.commit());
  EXPECT_EQ(folder.read("out.cab"), "MSCF and the rest");
}

}  // namespace
