#include "library/support/replacement_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "fakes/recording_services.h"
#include "fakes/small_file_system.h"
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

// How `work` ended in a child, run as the unprivileged user 65534 when asked: its exit status,
// 128 and the signal when a signal ended it, -1 when the child could not run it.
int inChild(bool otherUser, const std::function<int()>& work) {
  ::fflush(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    bool dropped = !otherUser ||
                   (::setresgid(65534, 65534, 65534) == 0 && ::setresuid(65534, 65534, 65534) == 0);
    ::_exit(dropped ? work() : 99);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

std::string attribute(const std::string& name, const char* key) {
  char value[256];
  ssize_t length = ::getxattr(name.c_str(), key, value, sizeof value);
  return length < 0 ? std::string("(none)") : std::string(value, static_cast<std::size_t>(length));
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
    EXPECT_EQ(namesIn(folder.path()).size(), 1u);  // the new file has no name yet
  }
  EXPECT_EQ(folder.read("out.bin"), "old contents");
  EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"out.bin"});
  // Nor a process killed in the middle of a save.
  EXPECT_EQ(inChild(false,
                    [&] {
                      ReplacementFile file;
                      if (file.create(name.c_str()) && put(file, std::string(1 << 20, 'n'))) {
                        ::raise(SIGKILL);
                      }
                      return 0;
                    }),
            128 + SIGKILL);
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

// The replaced file's access control list (here: the owning group nothing, user 65534 read),
// its user attributes and its other hard links stay with it.
TEST(ReplacementFile, AccessListsAttributesAndHardLinksStay) {
  TempFolder folder;
  const std::string name = folder.write("shared.txt", "old");
  // Version 2; user::rw-, user:65534:r--, group::---, mask::r--, other::---.
  const std::uint32_t acl[] = {2,          0x00060001, 0xFFFFFFFF, 0x00040002,
                               65534,      0x00000004, 0xFFFFFFFF, 0x00040010,
                               0xFFFFFFFF, 0x00000020, 0xFFFFFFFF};
  if (::setxattr(name.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) != 0 ||
      ::setxattr(name.c_str(), "user.origin", "camera", 6, 0) != 0) {
    GTEST_SKIP() << "the temporary folder's file system keeps no access lists or attributes";
  }
  const std::string aclBefore = attribute(name, "system.posix_acl_access");
  for (bool linked : {false, true}) {
    if (linked) fs::create_hard_link(name, folder.file("other name.txt"));
    const std::string contents = linked ? "newer" : "new";
    ReplacementFile file;
    ASSERT_TRUE(file.create(name.c_str()) && put(file, contents) && file.commit());
    EXPECT_EQ(folder.read("shared.txt"), contents);
    EXPECT_EQ(attribute(name, "system.posix_acl_access"), aclBefore);
    EXPECT_EQ(attribute(name, "user.origin"), "camera");
    EXPECT_EQ(fs::status(name).permissions(), static_cast<fs::perms>(0640));
  }
  EXPECT_EQ(folder.read("other name.txt"), "newer");
}

// A watcher that looks at every name appearing in the folder while a private file is saved again
// and again never finds one that grants more than the file itself.
TEST(ReplacementFile, AWatcherNeverSeesMoreThanTheTargetsAccess) {
  TempFolder folder;
  const std::string name = folder.write("private.txt", "old");
  fs::permissions(name, static_cast<fs::perms>(0600));
  const int watch = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, folder.path().c_str(), IN_CREATE | IN_MOVED_TO), 0);
  int seen = 0;
  unsigned widest = 0;
  std::thread watcher([&] {
    alignas(inotify_event) char events[4096];
    for (ssize_t length; (length = ::read(watch, events, sizeof events)) > 0;) {
      for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        struct stat info {};
        if (event->len && std::strcmp(event->name, "stop") == 0) return;
        if (event->len && ::stat(folder.file(event->name).c_str(), &info) == 0) {
          widest |= info.st_mode & 07777;
          ++seen;
        }
      }
    }
  });
  for (int i = 0; i < 200; ++i) {
    ReplacementFile file;
    EXPECT_TRUE(file.create(name.c_str()) && put(file, "secret " + std::to_string(i)) &&
                file.commit());
  }
  folder.write("stop", "");
  watcher.join();
  ::close(watch);
  EXPECT_GT(seen, 0);
  EXPECT_EQ(widest & ~0600u, 0u);
  EXPECT_EQ(folder.read("private.txt"), "secret 199");
}

// A target changed while the new contents were written is not replaced: the version saved
// meanwhile stays, and the trace says why.
TEST(ReplacementFile, AFileChangedMeanwhileIsNotReplaced) {
  TempFolder folder;
  const std::string name = folder.write("picture.gif", "as found");
  RecordingMessages messages;
  ReplacementFile file;
  ASSERT_TRUE(file.create(name.c_str()));
  ASSERT_TRUE(put(file, "rewrite"));
  folder.write("picture.gif", "saved meanwhile");
  EXPECT_FALSE(file.commit());
  EXPECT_EQ(file.fault(), platform::FileFault::kChanged);
  EXPECT_EQ(folder.read("picture.gif"), "saved meanwhile");
  EXPECT_EQ(messages.traced, (std::vector<std::string>{"Cannot create file: " + name,
                                                       "because: changed meanwhile"}));
  EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"picture.gif"});
}

// Where no new file may take the target's place (a folder that takes none, another user's file
// in a sticky folder, a file with another hard link), the contents go over the target in place,
// and only once their room is reserved: on a full disk the old file stays whole.
TEST(ReplacementFile, InPlaceOnlyOnceTheRoomIsReserved) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: the save runs as another user";
  struct Case {
    const char* what;
    unsigned folderMode;
    bool hardLink;
    bool full;
  };
  const std::vector<Case> cases = {
      {"folder takes no new file", 0555, false, false},
      {"folder takes no new file, full disk", 0555, false, true},
      {"sticky folder", 01777, false, false},
      {"sticky folder, full disk", 01777, false, true},
      {"hard link", 0777, true, false},
      {"hard link, full disk", 0777, true, true},
  };
  const std::string old(8192, 'o');
  const std::string contents(65536, 'n');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmallFileSystem disk(256 * 1024);
    SKIP_WITHOUT_SMALL_FILE_SYSTEM(disk);
    const fs::path folder = disk.file("folder");
    fs::create_directory(folder);
    const std::string target = (folder / "target").string();
    std::ofstream(target, std::ios::binary) << old;
    fs::permissions(target, static_cast<fs::perms>(0666));
    if (c.hardLink) fs::create_hard_link(target, folder / "link");
    fs::permissions(folder, static_cast<fs::perms>(c.folderMode));
    if (c.full) disk.fill();
    const int result = inChild(true, [&] {
      ReplacementFile file;
      return file.create(target.c_str()) && put(file, contents) && file.commit() ? 1 : 0;
    });
    EXPECT_EQ(result, c.full ? 0 : 1);
    const std::string expected = c.full ? old : contents;
    EXPECT_EQ(disk.read("folder/target"), expected);
    if (c.hardLink) {
      EXPECT_EQ(disk.read("folder/link"), expected);
    }
    EXPECT_EQ(namesIn(folder).size(), c.hardLink ? 2u : 1u);
  }
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
