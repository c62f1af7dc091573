// Kestrilo_saveJPEG: what reaches the disk, and what is refused, for the arguments the Java side
// can pass.
#include "library/exports/save_jpeg_export.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/exports/exports.h"
#include "library/image/jpeg_test_support.h"

namespace {

std::int32_t saveJpeg(const std::string& name, const ArrayObject* pixels, int width, int height) {
  TestString text = TestString::latin1(name);
  return Kestrilo_saveJPEG(nullptr, text.handle(), pixels, width, height);
}

bool folderIsEmpty(const TempFolder& folder) { return std::filesystem::is_empty(folder.path()); }

TEST(SaveJpegExport, WritesTheFPicture) {
  TempFolder folder;
  PixelArray pixels(fPicture());
  testing::internal::CaptureStdout();
  EXPECT_EQ(saveJpeg(folder.file("f.jpg"), pixels.object(), 6, 5), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  DecodedImage image = decodeJpeg(folder.read("f.jpg"));
  EXPECT_EQ(image.width, 6);
  EXPECT_EQ(image.height, 5);
}

TEST(SaveJpegExport, ReplacesAnExistingFile) {
  TempFolder folder;
  std::string name = folder.write("old.jpg", std::string(100000, 'x'));
  PixelArray pixels(fPicture());
  EXPECT_EQ(saveJpeg(name, pixels.object(), 6, 5), 1);
  std::string written = folder.read("old.jpg");
  ASSERT_LT(written.size(), 100000u);
  EXPECT_EQ(written.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(written.substr(written.size() - 2), "\xFF\xD9");
}

TEST(SaveJpegExport, ReadsOnlyWidthTimesHeightElements) {
  TempFolder folder;
  std::vector<std::int32_t> elements = fPicture();
  std::vector<std::int32_t> longer = elements;
  longer.insert(longer.end(), 50, 0x0000FF00);
  PixelArray exact(elements);
  PixelArray extra(longer);
  EXPECT_EQ(saveJpeg(folder.file("exact.jpg"), exact.object(), 6, 5), 1);
  EXPECT_EQ(saveJpeg(folder.file("extra.jpg"), extra.object(), 6, 5), 1);
  EXPECT_EQ(folder.read("exact.jpg"), folder.read("extra.jpg"));
}

// Sizes the compressor refuses: its message on standard output, no file left, result 1.
TEST(SaveJpegExport, RefusedSizesPrintTheLibrarysErrorAndLeaveNoFile) {
  struct Case {
    int width, height;
    const char* line;
  };
  const char* empty = "Error: Empty JPEG image (DNL not supported)\n";
  const Case cases[] = {
      {0, 5, empty},  {6, 0, empty},
      {0, 0, empty},  {-3, 4, empty},
      {4, -1, empty}, {65501, 1, "Error: Maximum supported image dimension is 65500 pixels\n"},
  };
  std::vector<std::int32_t> row(65501, kBlue);
  PixelArray pixels(row);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    TempFolder folder;
    RecordingMessages messages;
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveJpeg(folder.file("refused.jpg"), pixels.object(), c.width, c.height), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
    EXPECT_TRUE(folderIsEmpty(folder));
    EXPECT_TRUE(messages.shown.empty());
  }
}

// Calls that must write nothing at all, leaving an existing file as it was.
TEST(SaveJpegExport, RefusedCallsTouchNothing) {
  TempFolder folder;
  std::vector<std::int32_t> thirty = fPicture();
  std::vector<std::int32_t> twentyNine(thirty.begin(), thirty.end() - 1);
  PixelArray full(thirty);
  PixelArray short1(twentyNine);
  PixelArray none({});
  struct Case {
    const char* what;
    const ArrayObject* pixels;
    int width, height;
  };
  const Case cases[] = {
      {"one element short", short1.object(), 6, 5},
      {"empty array", none.object(), 6, 5},
      {"null array", nullptr, 6, 5},
      {"width x height beyond 32 bits", full.object(), 65536, 65536},
      {"width x height wraps to 30 in 32 bits", full.object(), 962, 4464623},
  };
  std::string name = folder.write("keep.jpg", "previous contents");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingMessages messages;
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveJpeg(name, c.pixels, c.width, c.height), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(folder.read("keep.jpg"), "previous contents");
    EXPECT_TRUE(messages.shown.empty());
  }
}

TEST(SaveJpegExport, NameLongerThan255CharactersIsRefused) {
  TempFolder folder;
  PixelArray pixels(fPicture());
  std::string base = folder.path().string() + "/";
  // Cut to 255 characters this name would still be a valid one in the folder.
  std::string name = base + std::string(255 - base.size(), 'a') + "b";
  ASSERT_EQ(name.size(), 256u);
  EXPECT_EQ(saveJpeg(name, pixels.object(), 6, 5), 1);
  EXPECT_TRUE(folderIsEmpty(folder));
  // 255 characters are still taken.
  name.pop_back();
  EXPECT_EQ(saveJpeg(name, pixels.object(), 6, 5), 1);
  EXPECT_TRUE(std::filesystem::exists(name));
}

TEST(SaveJpegExport, FileThatCannotBeCreatedLeavesNothing) {
  TempFolder folder;
  RecordingMessages messages;
  PixelArray pixels(fPicture());
  testing::internal::CaptureStdout();
  EXPECT_EQ(saveJpeg(folder.file("missing/f.jpg"), pixels.object(), 6, 5), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(folderIsEmpty(folder));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(messages.traced,
            (std::vector<std::string>{"Cannot create file: " + folder.file("missing/f.jpg")}));
}

TEST(SaveJpegExport, NeedsNoMemoryThePicturesSize) {
  // The rows go to the compressor from the array itself: with every allocation of the library's
  // own refused, the picture is still written and nothing is shown.
  TempFolder folder;
  PixelArray pixels(fPicture());
  RecordingMessages messages;
  FailingMemory memory;
  EXPECT_EQ(saveJpeg(folder.file("f.jpg"), pixels.object(), 6, 5), 1);
  EXPECT_TRUE(messages.shown.empty());
  DecodedImage image = decodeJpeg(folder.read("f.jpg"));
  EXPECT_EQ(image.width, 6);
  EXPECT_EQ(image.height, 5);
}

// A source whose row buffer cannot be allocated, as the JNI bridge's may not be.
struct UnreadableRows final : PixelRows {
  int prepare(std::int32_t) override { return 0; }
  const std::int32_t* row(std::int32_t) override {
    ADD_FAILURE() << "row read although prepare failed";
    return nullptr;
  }
};

TEST(SaveJpegExport, RowsThatCannotBeReadWriteNothing) {
  TempFolder folder;
  std::string name = folder.write("keep.jpg", "previous contents");
  TestString text = TestString::latin1(name);
  UnreadableRows rows;
  testing::internal::CaptureStdout();
  EXPECT_EQ(saveJpegFromRows(text.handle(), 30, rows, 6, 5), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(folder.read("keep.jpg"), "previous contents");
}

}  // namespace
