#include "library/support/byte_reader.h"

#include <gtest/gtest.h>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"

namespace {

struct LoadedReader {
  explicit LoadedReader(const std::string& bytes) { reader.loadFromMemory(bytes.data(), bytes.size()); }
  ~LoadedReader() { reader.release(); }
  ByteReader reader;
};

TEST(ByteReader, LoadsAFileWithItsCursorAtTheStart) {
  TempFolder folder;
  std::string name = folder.write("gif.bin", "GIF89a");
  ByteReader reader;
  ASSERT_NE(reader.load(name.c_str()), nullptr);
  EXPECT_EQ(reader.length, 6);
  EXPECT_EQ(reader.position, 0);
  EXPECT_EQ(reader.cursor, reader.buffer);
  EXPECT_EQ(reader.readByte(), 'G');
  reader.release();
  EXPECT_EQ(reader.buffer, nullptr);
  EXPECT_EQ(reader.length, 6);  // release keeps the other fields
}

TEST(ByteReader, MissingFileLeavesItEmpty) {
  RecordingMessages messages;
  ByteReader reader;
  EXPECT_EQ(reader.load("/nonexistent/file.gif"), nullptr);
  EXPECT_EQ(reader.length, 0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(ByteReader, SkipOfZeroChangesNothing) {
  LoadedReader loaded("abc");
  ByteReader& reader = loaded.reader;
  reader.readByte();
  const std::uint8_t* before = reader.cursor;
  EXPECT_EQ(reader.skip(0), before);
  EXPECT_EQ(reader.cursor, before);
  EXPECT_EQ(reader.position, 1);
}

TEST(ByteReader, SkipHandsOutTheBytesInPlace) {
  LoadedReader loaded("headerDATA");
  ByteReader& reader = loaded.reader;
  const std::uint8_t* header = reader.skip(6);
  EXPECT_EQ(header, reader.buffer);
  EXPECT_EQ(reader.position, 6);
  EXPECT_EQ(reader.readByte(), 'D');
}

TEST(ByteReader, UnreadByteDeliversTheSameByteAgain) {
  LoadedReader loaded("xy");
  ByteReader& reader = loaded.reader;
  EXPECT_EQ(reader.readByte(), 'x');
  reader.unreadByte();
  EXPECT_EQ(reader.readByte(), 'x');
  EXPECT_EQ(reader.position, 2);  // one distinct byte consumed, counted twice
  EXPECT_EQ(reader.readByte(), 'y');
  EXPECT_EQ(reader.position, 3);
}

TEST(ByteReader, ReadBlockCopiesAndAdvances) {
  LoadedReader loaded("0123456789");
  ByteReader& reader = loaded.reader;
  reader.skip(2);
  char block[4];
  EXPECT_EQ(reader.readBlock(block, 4), 4);
  EXPECT_EQ(std::string(block, 4), "2345");
  EXPECT_EQ(reader.position, 6);
}

TEST(ByteReader, NeverGoesPastTheEnd) {
  LoadedReader loaded("ab");
  ByteReader& reader = loaded.reader;
  reader.skip(1000);
  EXPECT_EQ(reader.cursor, reader.buffer + 2);
  EXPECT_GE(reader.position, reader.length);
  EXPECT_EQ(reader.readByte(), 0);
  EXPECT_EQ(reader.cursor, reader.buffer + 2);
  char block[3] = {'?', '?', '?'};
  EXPECT_EQ(reader.readBlock(block, 3), 3);
  EXPECT_EQ(std::string(block, 3), std::string(3, '\0'));
  EXPECT_EQ(reader.remaining(), 0);
}

TEST(ByteReader, ReadBlockAcrossTheEndZeroFillsTheRest) {
  LoadedReader loaded("abc");
  ByteReader& reader = loaded.reader;
  reader.readByte();
  char block[5];
  reader.readBlock(block, 5);
  EXPECT_EQ(std::string(block, 5), std::string("bc\0\0\0", 5));
}

}  // namespace
