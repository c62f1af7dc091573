// Java_Kestrilo_saveJPEG over a JNI environment of the tests' own: the picture is read where it
// lies while the VM holds the array, or a row at a time when the VM will not hold it; the same
// file either way, and no call into the VM while the array is held.
#include <gtest/gtest.h>
#include <jni.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Kestrilo.h"
#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/exports/exports.h"
#include "library/image/jpeg_test_support.h"

namespace {

// A VM with one Java string and one int[]; every function the bridge may call is here, and each
// records a call made while the array is held.
struct FakeVm {
  JNINativeInterface_ table{};
  JNIEnv env{};
  std::u16string name;
  std::vector<jint> pixels;
  bool willHold = true;
  bool held = false;
  int holds = 0;
  int releases = 0;
  int regionReads = 0;
  int callsWhileHeld = 0;

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
      vm.held = true;
      ++vm.holds;
      return vm.pixels.data();
    };
    table.ReleasePrimitiveArrayCritical = [](JNIEnv* e, jarray, void*, jint mode) {
      FakeVm& vm = of(e);
      EXPECT_EQ(mode, JNI_ABORT);
      vm.held = false;
      ++vm.releases;
    };
    env.functions = &table;
  }

  static FakeVm& of(JNIEnv* e) {
    return *reinterpret_cast<FakeVm*>(reinterpret_cast<char*>(e) - offsetof(FakeVm, env));
  }
  void noteCall() {
    if (held) ++callsWhileHeld;
  }

  jint saveJpeg(jint width, jint height) {
    // Any non-null values: the fake knows its one string and one array.
    auto string = reinterpret_cast<jstring>(&name);
    auto array = reinterpret_cast<jintArray>(&pixels);
    return Java_Kestrilo_saveJPEG(&env, nullptr, string, array, width, height);
  }
};

std::u16string utf16(const std::string& latin1) { return {latin1.begin(), latin1.end()}; }

std::vector<jint> randomColours(std::size_t count) {
  std::mt19937 random(7);
  std::vector<jint> colours(count);
  for (jint& colour : colours) colour = static_cast<jint>(random() & 0xFFFFFF);
  return colours;
}

TEST(JpegBridge, HeldOrReadByRowsTheFileIsTheCExports) {
  const int width = 37;
  const int height = 23;
  TempFolder folder;
  std::vector<jint> colours = randomColours(width * height + 5);

  PixelArray reference(std::vector<std::int32_t>(colours.begin(), colours.end()));
  TestString referenceName = TestString::latin1(folder.file("reference.jpg"));
  ASSERT_EQ(Kestrilo_saveJPEG(nullptr, referenceName.handle(), reference.object(), width, height),
            1);
  const std::string expected = folder.read("reference.jpg");
  ASSERT_FALSE(expected.empty());

  struct Case {
    const char* what;
    bool willHold;
    int holds;
    int regionReads;
  };
  for (const Case& c :
       {Case{"held in place", true, 1, 0}, Case{"read by rows", false, 0, height}}) {
    SCOPED_TRACE(c.what);
    FakeVm vm;
    vm.willHold = c.willHold;
    vm.pixels = colours;
    vm.name = utf16(folder.file(std::string(c.what) + ".jpg"));
    EXPECT_EQ(vm.saveJpeg(width, height), 1);
    EXPECT_EQ(folder.read(std::string(c.what) + ".jpg"), expected);
    EXPECT_EQ(vm.holds, c.holds);
    EXPECT_EQ(vm.releases, c.holds);
    EXPECT_EQ(vm.regionReads, c.regionReads);
    EXPECT_EQ(vm.callsWhileHeld, 0);
    EXPECT_FALSE(vm.held);
  }
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
