#include "library/support/replacement_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    found.insert(entry.path().filename().string());
  }
  return found;
}

bool put(ReplacementFile& file, const std::string& text) {
  return writeBytes(file.file(), text.data(), static_cast<std::int32_t>(text.size())) ==
         static_cast<std::int32_t>(text.size());
}

TEST(ReplacementFile, TheNameShowsTheOldContentsUntilTheCommit) {
  struct Case {
    const char* name;
    bool existing;
  };
  for (const Case& c : {Case{"a new file", false}, Case{"a file replaced", true}}) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::string name = folder.file("out.bin");
    if (c.existing) folder.write("out.bin", "old contents");
    ReplacementFile file;
    ASSERT_TRUE(file.create(name.c_str()));
    ASSERT_TRUE(put(file, "new"));
    EXPECT_EQ(fs::exists(name), c.existing);
    if (c.existing) {
      EXPECT_EQ(folder.read("out.bin"), "old contents");
    }
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(file.file(), kInvalidHandle);
    EXPECT_EQ(folder.read("out.bin"), "new");
    EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"out.bin"});
  }
}

TEST(ReplacementFile, WhatIsNotCommittedLeavesNothing) {
  TempFolder folder;
  const std::string name = folder.write("out.bin", "old contents");
  {
    ReplacementFile file;
    ASSERT_TRUE(file.create(name.c_str()));
    ASSERT_TRUE(put(file, "half"));
    EXPECT_EQ(namesIn(folder.path()).size(), 2u);  // the new file beside the old one
  }
  EXPECT_EQ(folder.read("out.bin"), "old contents");
  EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"out.bin"});

  ReplacementFile discarded;
  ASSERT_TRUE(discarded.create(folder.file("new.bin").c_str()));
  discarded.discard();
  EXPECT_FALSE(discarded.commit());
  EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"out.bin"});
}

TEST(ReplacementFile, PermissionsOwnerAndGroupOfTheReplacedFileStay) {
  TempFolder folder;
  const std::string name = folder.write("shared.txt", "old");
  fs::permissions(name, static_cast<fs::perms>(0640));
  const bool privileged = ::geteuid() == 0;
  if (privileged) {
    ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
  }
  ReplacementFile file;
  ASSERT_TRUE(file.create(name.c_str()));
  ASSERT_TRUE(put(file, "new"));
  ASSERT_TRUE(file.commit());
  struct stat info {};
  ASSERT_EQ(::stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  if (privileged) {
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
  }
}

// The replaced name gets the new file; another hard link to the old one keeps the old contents.
TEST(ReplacementFile, AnotherHardLinkKeepsTheOldContents) {
  TempFolder folder;
  const std::string name = folder.write("one.txt", "old");
  fs::create_hard_link(name, folder.file("two.txt"));
  ReplacementFile file;
  ASSERT_TRUE(file.create(name.c_str()));
  ASSERT_TRUE(put(file, "new"));
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(folder.read("one.txt"), "new");
  EXPECT_EQ(folder.read("two.txt"), "old");
}

TEST(ReplacementFile, WhatIsNotAnOrdinaryFileIsRefusedAndTraced) {
  TempFolder folder;
  const std::string fifo = folder.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string subfolder = folder.file("sub");
  fs::create_directory(subfolder);
  const std::string loop = folder.file("loop");
  fs::create_symlink("loop", loop);
  const std::string missingFolder = folder.file("missing/out.bin");
  for (const std::string& name :
       {fifo, subfolder, loop, missingFolder, std::string("/dev/null"), std::string()}) {
    SCOPED_TRACE(name);
    RecordingMessages messages;
    ReplacementFile file;
    EXPECT_FALSE(file.create(name.c_str()));
    EXPECT_EQ(file.file(), kInvalidHandle);
    EXPECT_EQ(messages.traced, std::vector<std::string>{"Cannot create file: " + name});
    EXPECT_TRUE(messages.shown.empty());
  }
  EXPECT_EQ(namesIn(folder.path()), (std::set<std::string>{"pipe", "sub", "loop"}));
  EXPECT_TRUE(fs::is_fifo(fifo));
}

// A link to a file not made yet: the file is made where the link points.
TEST(ReplacementFile, ADanglingLinkGetsItsFile) {
  TempFolder folder;
  fs::create_directory(folder.path() / "real");
  fs::create_symlink("real/made.txt", folder.path() / "link.txt");
  ReplacementFile file;
  ASSERT_TRUE(file.create(folder.file("link.txt").c_str()));
  ASSERT_TRUE(put(file, "made"));
  ASSERT_TRUE(file.commit());
  EXPECT_TRUE(fs::is_symlink(folder.path() / "link.txt"));
  EXPECT_EQ(folder.read("real/made.txt"), "made");
}

}  // namespace
