// No exception leaves an export: whatever is thrown underneath becomes the documented failure.
#include "library/exports/export_guard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/audio/wav_test_support.h"
#include "library/exports/exports.h"
#include "library/image/jpeg_test_support.h"

namespace {

// The heap as a throwing allocator would make it: every allocation throws.
class ThrowingMemory final : public platform::MemoryService {
 public:
  ThrowingMemory() : real_(platform::memory()) { platform::setMemoryService(this); }
  ~ThrowingMemory() override { platform::setMemoryService(nullptr); }
  void* allocate(std::size_t, bool) override { throw std::bad_alloc(); }
  void* reallocate(void*, std::size_t) override { throw std::bad_alloc(); }
  void release(void* block) override { real_.release(block); }

 private:
  platform::MemoryService& real_;
};

TEST(ExportGuard, AnyExceptionBecomesTheFailureResult) {
  struct Case {
    const char* name;
    std::function<std::int32_t()> body;
    std::int32_t result;
    const char* traced;
  };
  const std::vector<Case> cases = {
      {"returns", [] { return 7; }, 7, nullptr},
      {"bad_alloc", []() -> std::int32_t { throw std::bad_alloc(); }, -3,
       "Not enough memory to finish the call"},
      {"runtime_error", []() -> std::int32_t { throw std::runtime_error("x"); }, -3,
       "The call ended with an unexpected error"},
      {"not an exception class", []() -> std::int32_t { throw 42; }, -3,
       "The call ended with an unexpected error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    EXPECT_EQ(guardExport(-3, c.body), c.result);
    EXPECT_EQ(messages.traced,
              c.traced ? std::vector<std::string>{c.traced} : std::vector<std::string>{});
    EXPECT_TRUE(messages.shown.empty());
  }
}

// Each export with good arguments, its allocations throwing: the documented failure result, and
// the call returns instead of ending the process.
TEST(ExportGuard, EveryExportGivesItsFailureWhenAllocationThrows) {
  TempFolder folder;
  const std::string gif =
      (std::filesystem::path(TAVOLIN_TEST_DATA_DIR) / "image/im_noise.gif").string();
  std::filesystem::copy_file(gif, folder.file("in.gif"));
  const wavtest::Bytes wav = wavtest::canonicalWav({}, wavtest::Bytes(800, 0x80));
  folder.write("in.wav", std::string(wav.begin(), wav.end()));
  PixelArray pixels(fPicture());
  TestString gifName = TestString::latin1(folder.file("in.gif"));
  TestString wavName = TestString::latin1(folder.file("in.wav"));
  TestString auName = TestString::latin1(folder.file("out.au"));
  TestString jpegName = TestString::latin1(folder.file("out.jpg"));
  TestString cabPath = TestString::latin1(folder.path().string());
  TestString cabName = TestString::latin1("out.cab");
  TestString text = TestString::latin1("text");

  struct Case {
    const char* name;
    std::function<std::int32_t()> call;
    std::int32_t failure;
  };
  const std::vector<Case> cases = {
      {"makeTransparent", [&] { return Kestrilo_makeTransparent(nullptr, gifName.handle()); },
       kMakeTransparentFailure},
      {"wav2au", [&] { return Kestrilo_wav2au(nullptr, wavName.handle(), auName.handle()); },
       kWav2AuFailure},
      {"saveJPEG",
       [&] { return Kestrilo_saveJPEG(nullptr, jpegName.handle(), pixels.object(), 6, 5); },
       kSaveJpegFailure},
      {"makeCab",
       [&] { return Kestrilo_makeCab(nullptr, nullptr, cabPath.handle(), cabName.handle()); },
       kMakeCabFailure},
      {"copyToClipboard", [&] { return Kestrilo_copyToClipboard(nullptr, text.handle()); },
       kClipboardFailure},
  };
  const std::string before = folder.read("in.gif");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    ThrowingMemory memory;
    std::int32_t result = -1;
    EXPECT_NO_THROW(result = c.call());
    EXPECT_EQ(result, c.failure);
  }
  EXPECT_EQ(folder.read("in.gif"), before);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "out.au"));
}

}  // namespace
