#include "library/support/file_helpers.h"

#include <gtest/gtest.h>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/support/replacement_file.h"

namespace {

TEST(FileHelpers, EmptyFileLoadsAsOneZeroByte) {
  TempFolder folder;
  std::string name = folder.write("empty.bin", "");
  std::int32_t size = -1;
  std::uint8_t* block = loadWholeFile(name.c_str(), size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(block[0], 0);
  freeWholeFile(block);
}

TEST(FileHelpers, WholeFileEndsInAZeroByte) {
  TempFolder folder;
  std::string name = folder.write("data.bin", std::string("ab\xFF", 3));
  std::int32_t size = 0;
  std::uint8_t* block = loadWholeFile(name.c_str(), size);
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(size, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 4), std::string("ab\xFF\0", 4));
  freeWholeFile(block);
}

TEST(FileHelpers, MissingFileGivesNullAndOnlyATrace) {
  RecordingMessages messages;
  TempFolder folder;
  std::string name = folder.file("missing.gif");
  std::int32_t size = 77;
  EXPECT_EQ(loadWholeFile(name.c_str(), size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(messages.traced, std::vector<std::string>{"File not found: " + name});
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

TEST(FileHelpers, FailedAllocationOfTheWholeFileBlock) {
  TempFolder folder;
  std::string name = folder.write("data.bin", "0123456789");
  RecordingMessages messages;
  FailingMemory memory;
  std::int32_t size = 0;
  EXPECT_EQ(loadWholeFile(name.c_str(), size), nullptr);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Error", "Sorry, not enough memory"}}));
}

TEST(FileHelpers, Utf8NamesReachTheFileSystemAsTheyAre) {
  TempFolder folder;
  folder.write("caf\xC3\xA9.txt", "latin");  // "café.txt" in UTF-8 on disk
  folder.write("caf\xE9.txt", "other");      // its Latin-1 bytes: another name, never read
  std::string utf8 = folder.file("caf\xC3\xA9.txt");
  std::int32_t size = 0;
  std::uint8_t* block = loadWholeFile(utf8.c_str(), size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(size, 5);
  freeWholeFile(block);
}

}  // namespace
