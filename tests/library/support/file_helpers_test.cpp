#include "library/support/file_helpers.h"

#include <gtest/gtest.h>

#include <optional>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/support/replacement_file.h"

namespace {

// loadWholeFile: the block (the file and one zero byte after it), the size, and what the user
// is shown or only traced.
TEST(FileHelpers, LoadWholeFile) {
  struct Case {
    const char* what;
    const char* onDisk;  // the file's name on disk (UTF-8); null: no file
    std::string contents;
    const char* asked;  // the name handed over (UTF-8, as every name in the library)
    bool failAllocation;
    bool loaded;
    std::int32_t size;
    bool tracesMissing = false;
    const char* shownError = nullptr;  // the text of the one "Error" box shown, if any
  } cases[] = {
      {"an empty file loads as one zero byte", "empty.bin", "", "empty.bin", false, true, 0},
      {"a file ends in a zero byte", "data.bin", std::string("ab\xFF", 3), "data.bin", false, true,
       3},
      {"a missing file gives null and only a trace", nullptr, "", "missing.gif", false, false, 0,
       true},
      {"the block that cannot be allocated keeps the size", "data.bin", "0123456789", "data.bin",
       true, false, 10, false, "Sorry, not enough memory"},
      {"UTF-8 names reach the file system as they are", "caf\xC3\xA9.txt", "latin",
       "caf\xC3\xA9.txt", false, true, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    if (c.onDisk) folder.write(c.onDisk, c.contents);
    std::string name = folder.file(c.asked);
    RecordingMessages messages;
    std::int32_t size = 77;
    std::optional<FailingMemory> memory;
    if (c.failAllocation) memory.emplace();
    std::uint8_t* block = loadWholeFile(name.c_str(), size);
    memory.reset();
    EXPECT_EQ(block != nullptr, c.loaded);
    EXPECT_EQ(size, c.size);
    if (block) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(block), c.contents.size() + 1),
                c.contents + std::string(1, '\0'));
      freeWholeFile(block);
    }
    std::vector<ShownMessage> shown;
    if (c.shownError) shown.push_back({"Error", c.shownError});
    EXPECT_EQ(messages.shown, shown);
    std::vector<std::string> traced;
    if (c.tracesMissing) traced.push_back("File not found: " + name);
    EXPECT_EQ(messages.traced, traced);
  }
}

TEST(FileHelpers, FolderIsNotAFileToRead) {
  TempFolder folder;
  EXPECT_EQ(openForReading(folder.path().string().c_str()), kInvalidHandle);
}

TEST(FileHelpers, ByteOrderOfWrites) {
  TempFolder folder;
  std::string name = folder.file("order.bin");
  ReplacementFile output;
  ASSERT_TRUE(output.create(name.c_str()));
  EXPECT_EQ(writeInt32(output.file(), 0x2E736E64u), 4);
  EXPECT_EQ(writeInt32(output.file(), swapBytes32(0x2E736E64u)), 4);
  EXPECT_EQ(writeByte(output.file(), 0x1AB), 1);
  ASSERT_TRUE(output.commit());
  EXPECT_EQ(folder.read("order.bin"), std::string("dns.\x2E"
                                                  "snd\xAB",
                                                  9));
}

TEST(FileHelpers, SwapBytes32) {
  EXPECT_EQ(swapBytes32(0x11223344u), 0x44332211u);
  EXPECT_EQ(swapBytes32(swapBytes32(0xDEADBEEFu)), 0xDEADBEEFu);
  EXPECT_EQ(swapBytes32(0x000000FFu), 0xFF000000u);
}

TEST(FileHelpers, ReadAndWriteFailuresShowTheirMessages) {
  RecordingMessages messages;
  TempFolder folder;
  std::string name = folder.write("readonly.txt", "abc");
  FileHandle reading = openForReading(name.c_str());
  ASSERT_NE(reading, kInvalidHandle);
  EXPECT_EQ(writeBytes(reading, "x", 1), -1);  // a descriptor opened for reading only
  char buffer[8];
  EXPECT_EQ(readBytes(reading, buffer, 8), 3);  // short at the end, no message
  closeFile(reading);
  EXPECT_EQ(readBytes(reading, buffer, 1), -1);  // closed
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Error", "Cannot write file"},
                                                       {"Error", "Cannot read file"}}));
}

TEST(FileHelpers, CloseIgnoresOnlyTheInvalidHandle) {
  RecordingMessages messages;
  closeFile(kInvalidHandle);
  EXPECT_TRUE(messages.shown.empty());
  // Any other handle is closed: reading it afterwards fails.
  TempFolder folder;
  FileHandle file = openForReading(folder.write("a.txt", "abc").c_str());
  ASSERT_NE(file, kInvalidHandle);
  closeFile(file);
  char byte;
  EXPECT_EQ(readBytes(file, &byte, 1), -1);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Error", "Cannot read file"}}));
}

TEST(FileHelpers, OpenWithSizeReportsTheSize) {
  TempFolder folder;
  std::string name = folder.write("five.bin", "12345");
  std::int32_t size = 0;
  FileHandle file = openWithSize(name.c_str(), size);
  EXPECT_EQ(size, 5);
  closeFile(file);
  size = 9;
  EXPECT_EQ(openWithSize(folder.file("none").c_str(), size), kInvalidHandle);
  EXPECT_EQ(size, 0);
}

}  // namespace
