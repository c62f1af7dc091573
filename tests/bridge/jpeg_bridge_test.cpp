// Java_Kestrilo_saveJPEG over a JNI environment of the tests' own: the picture is read where it
// lies while the VM holds the array, one band of rows per hold, or a row at a time when the VM
// will not hold it; the same file either way. While the array is held there is no call into the
// VM, no file is made or written and no message is shown, and every hold is given back.
#include <gtest/gtest.h>
#include <jni.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Kestrilo.h"
#include "fakes/small_file_system.h"
#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/exports/exports.h"
#include "library/image/jpeg_test_support.h"
#include "platform/testing/platform_testing.h"

namespace {

// The names and sizes of the files in a folder.
std::map<std::string, std::uintmax_t> filesIn(const std::filesystem::path& folder) {
  std::map<std::string, std::uintmax_t> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files[entry.path().filename().string()] = entry.is_regular_file() ? entry.file_size() : 0;
  }
  return files;
}

// A VM with one Java string and one int[]; every function the bridge may call is here, and each
// records a call made while the array is held.
//
// A hold hands out a copy of the array in which only the rows of the band that this hold is
// expected to cover (bandRows rows, the k-th band for the k-th hold) are the picture's: every
// other row, and after the release the whole copy, has its colours turned round. A row read
// outside its band's hold therefore changes the file. The folder's files are compared at each
// hold and its release: a file made, written or renamed meanwhile is counted.
struct FakeVm {
  JNINativeInterface_ table{};
  // The environment the bridge is given, with the way back to this VM beside it.
  struct Environment {
    JNIEnv env;
    FakeVm* vm;
  } environment{};
  std::u16string name;
  std::vector<jint> pixels;
  bool willHold = true;
  int width = 0;
  int bandRows = 0;  // 0: the whole picture for each hold
  std::filesystem::path folder;
  bool held = false;
  int holds = 0;
  int releases = 0;
  int regionReads = 0;
  int callsWhileHeld = 0;
  int fileChangesWhileHeld = 0;
  std::vector<jint> lent;
  std::map<std::string, std::uintmax_t> filesAtHold;

  FakeVm() {
    table.GetStringLength = [](JNIEnv* e, jstring) -> jsize {
      FakeVm& vm = of(e);
      vm.noteCall();
      return static_cast<jsize>(vm.name.size());
    };
    table.GetStringRegion = [](JNIEnv* e, jstring, jsize start, jsize count, jchar* out) {
      FakeVm& vm = of(e);
      vm.noteCall();
      std::memcpy(out, vm.name.data() + start, static_cast<std::size_t>(count) * sizeof(jchar));
    };
    table.GetArrayLength = [](JNIEnv* e, jarray) -> jsize {
      FakeVm& vm = of(e);
      vm.noteCall();
      return static_cast<jsize>(vm.pixels.size());
    };
    table.GetIntArrayRegion = [](JNIEnv* e, jintArray, jsize start, jsize count, jint* out) {
      FakeVm& vm = of(e);
      vm.noteCall();
      ++vm.regionReads;
      std::memcpy(out, vm.pixels.data() + start, static_cast<std::size_t>(count) * sizeof(jint));
    };
    table.GetPrimitiveArrayCritical = [](JNIEnv* e, jarray, jboolean*) -> void* {
      FakeVm& vm = of(e);
      vm.noteCall();
      if (!vm.willHold) return nullptr;
      EXPECT_FALSE(vm.held) << "held twice";
      vm.lend();
      vm.held = true;
      ++vm.holds;
      return vm.lent.data();
    };
    table.ReleasePrimitiveArrayCritical = [](JNIEnv* e, jarray, void* elements, jint mode) {
      FakeVm& vm = of(e);
      EXPECT_EQ(mode, JNI_ABORT);
      EXPECT_TRUE(vm.held) << "released without a hold";
      EXPECT_EQ(elements, vm.lent.data());
      if (!vm.folder.empty() && filesIn(vm.folder) != vm.filesAtHold) ++vm.fileChangesWhileHeld;
      for (jint& colour : vm.lent) colour ^= 0xFFFFFF;
      vm.held = false;
      ++vm.releases;
    };
    environment.env.functions = &table;
    environment.vm = this;
  }

  static FakeVm& of(JNIEnv* e) { return *reinterpret_cast<Environment*>(e)->vm; }
  void noteCall() {
    if (held) ++callsWhileHeld;
  }
  void lend() {
    lent = pixels;
    if (!folder.empty()) filesAtHold = filesIn(folder);
    if (bandRows == 0) return;
    std::size_t first = static_cast<std::size_t>(holds) * bandRows * width;
    std::size_t end = first + static_cast<std::size_t>(bandRows) * width;
    for (std::size_t i = 0; i < lent.size(); ++i) {
      if (i < first || i >= end) lent[i] ^= 0xFFFFFF;
    }
  }

  jint saveJpeg(jint width, jint height) {
    // Any non-null values: the fake knows its one string and one array.
    auto string = reinterpret_cast<jstring>(&name);
    auto array = reinterpret_cast<jintArray>(&pixels);
    return Java_Kestrilo_saveJPEG(&environment.env, nullptr, string, array, width, height);
  }
};

// The messages shown during a call, and how many of them were shown while the array was held.
class MessagesAgainstHolds final : public platform::MessageService {
 public:
  explicit MessagesAgainstHolds(const FakeVm& vm) : vm_(vm) { platform::setMessageService(this); }
  ~MessagesAgainstHolds() override { platform::setMessageService(nullptr); }
  void showError(const char* caption, const char* text) override {
    shown.push_back(std::string(caption) + ": " + text);
    if (vm_.held) ++shownWhileHeld;
  }
  void trace(const char*) override {}

  std::vector<std::string> shown;
  int shownWhileHeld = 0;

 private:
  const FakeVm& vm_;
};

std::u16string utf16(const std::string& latin1) { return {latin1.begin(), latin1.end()}; }

std::vector<jint> randomColours(std::size_t count) {
  std::mt19937 random(7);
  std::vector<jint> colours(count);
  for (jint& colour : colours) colour = static_cast<jint>(random() & 0xFFFFFF);
  return colours;
}

TEST(JpegBridge, HeldOrReadByRowsTheFileIsTheCExports) {
  TempFolder folder;
  struct Case {
    const char* what;
    int width, height;
    bool willHold;
    int bandRows;  // what one hold covers: at most 1 MB of pixels, whole rows, at least one
    int holds;
    int regionReads;
  };
  const Case cases[] = {
      {"held in place", 37, 23, true, 23, 1, 0},
      {"read by rows", 37, 23, false, 0, 0, 23},
      // 1 MB holds 436 rows of 600 colours: bands of 436, 436 and 128 rows.
      {"held a band at a time", 600, 1000, true, 436, 3, 0},
      // A row of 65500 colours takes 262000 bytes: four rows to a band.
      {"the widest rows", 65500, 9, true, 4, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<jint> colours = randomColours(static_cast<std::size_t>(c.width) * c.height + 5);
    PixelArray reference(std::vector<std::int32_t>(colours.begin(), colours.end()));
    TestString referenceName = TestString::latin1(folder.file("reference.jpg"));
    ASSERT_EQ(
        Kestrilo_saveJPEG(nullptr, referenceName.handle(), reference.object(), c.width, c.height),
        1);
    const std::string expected = folder.read("reference.jpg");
    ASSERT_FALSE(expected.empty());

    FakeVm vm;
    vm.willHold = c.willHold;
    vm.pixels = colours;
    vm.width = c.width;
    vm.bandRows = c.bandRows;
    vm.folder = folder.path();
    vm.name = utf16(folder.file(std::string(c.what) + ".jpg"));
    MessagesAgainstHolds messages(vm);
    EXPECT_EQ(vm.saveJpeg(c.width, c.height), 1);
    EXPECT_EQ(folder.read(std::string(c.what) + ".jpg"), expected);
    EXPECT_EQ(vm.holds, c.holds);
    EXPECT_EQ(vm.releases, c.holds);
    EXPECT_EQ(vm.regionReads, c.regionReads);
    EXPECT_EQ(vm.callsWhileHeld, 0);
    EXPECT_EQ(vm.fileChangesWhileHeld, 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(vm.held);
  }
}

TEST(JpegBridge, AFullDiskShowsItsMessageOnlyOnceTheArrayIsBack) {
  SmallFileSystem disk;
  SKIP_WITHOUT_SMALL_FILE_SYSTEM(disk);
  const std::string previous = disk.write("photo.jpg", "previous contents");
  const int width = 600, height = 1000;  // a JPEG far larger than the disk's 256 KB
  FakeVm vm;
  vm.pixels = randomColours(static_cast<std::size_t>(width) * height);
  vm.width = width;
  vm.bandRows = 436;
  vm.folder = std::filesystem::path(previous).parent_path();
  vm.name = utf16(previous);
  MessagesAgainstHolds messages(vm);
  testing::internal::CaptureStdout();
  EXPECT_EQ(vm.saveJpeg(width, height), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: Output file write error --- out of disk space?\n");
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Error: Cannot write file"});
  EXPECT_EQ(messages.shownWhileHeld, 0);
  EXPECT_GE(vm.holds, 1);
  EXPECT_EQ(vm.releases, vm.holds);
  EXPECT_FALSE(vm.held);
  EXPECT_EQ(vm.callsWhileHeld, 0);
  EXPECT_EQ(disk.read("photo.jpg"), "previous contents");
  EXPECT_EQ(disk.names(), std::set<std::string>{"photo.jpg"});
}

TEST(JpegBridge, ARefusedCallNeverHoldsTheArray) {
  TempFolder folder;
  struct Case {
    const char* what;
    int width, height;
    std::string name;
  };
  const Case cases[] = {
      {"one element short", 6, 5, folder.file("short.jpg")},
      {"a name longer than 255 characters", 2, 2, std::string(300, 'n')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeVm vm;
    vm.pixels.assign(29, 0x123456);
    vm.name = utf16(c.name);
    EXPECT_EQ(vm.saveJpeg(c.width, c.height), 1);
    EXPECT_EQ(vm.holds, 0);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
  }
}

TEST(JpegBridge, AFileThatCannotBeMadeGivesTheArrayBack) {
  TempFolder folder;
  FakeVm vm;
  vm.pixels.assign(4, 0x00FF00);
  vm.name = utf16(folder.file("no/such/folder.jpg"));
  EXPECT_EQ(vm.saveJpeg(2, 2), 1);
  EXPECT_EQ(vm.releases, vm.holds);
  EXPECT_FALSE(vm.held);
  EXPECT_EQ(vm.callsWhileHeld, 0);
}

}  // namespace
