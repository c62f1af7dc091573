#include "library/support/byte_reader.h"

#include <gtest/gtest.h>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"

namespace {

struct LoadedReader {
  explicit LoadedReader(const std::string& bytes) {
    reader.loadFromMemory(bytes.data(), bytes.size());
  }
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

// Reads in memory, step by step: after each step, what it delivered, the cursor's place and the
// position. A skip delivers the bytes in place (checked as the place it returns); a read past the
// end delivers zeros and leaves the cursor at the end.
TEST(ByteReader, ReadsInMemoryStepByStep) {
  enum Op { kRead, kUnread, kSkip, kBlock };
  struct Step {
    Op op;
    std::int32_t count;     // skip and block
    std::string got;        // read and block: the bytes; skip: "" (see `at`)
    std::ptrdiff_t at;      // the cursor's offset from the buffer afterwards
    std::int32_t position;  // afterwards; -1: at or past the length
  };
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<Step> steps;
  } cases[] = {
      {"a skip of zero changes nothing", "abc", {{kRead, 0, "a", 1, 1}, {kSkip, 0, "", 1, 1}}},
      {"a skip hands out the bytes in place",
       "headerDATA",
       {{kSkip, 6, "", 6, 6}, {kRead, 0, "D", 7, 7}}},
      {"an unread byte is delivered again, and counted twice",
       "xy",
       {{kRead, 0, "x", 1, 1},
        {kUnread, 0, "", 0, 1},
        {kRead, 0, "x", 1, 2},
        {kRead, 0, "y", 2, 3}}},
      {"a block is copied and the reader advances",
       "0123456789",
       {{kSkip, 2, "", 2, 2}, {kBlock, 4, "2345", 6, 6}}},
      {"it never goes past the end",
       "ab",
       {{kSkip, 1000, "", 2, -1},
        {kRead, 0, std::string(1, '\0'), 2, -1},
        {kBlock, 3, std::string(3, '\0'), 2, -1}}},
      {"a block across the end is zero-filled",
       "abc",
       {{kRead, 0, "a", 1, 1}, {kBlock, 5, std::string("bc\0\0\0", 5), 3, -1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LoadedReader loaded(c.bytes);
    ByteReader& reader = loaded.reader;
    for (const Step& step : c.steps) {
      const std::uint8_t* before = reader.cursor;
      switch (step.op) {
        case kRead:
          EXPECT_EQ(std::string(1, static_cast<char>(reader.readByte())), step.got);
          break;
        case kUnread:
          reader.unreadByte();
          break;
        case kSkip:
          EXPECT_EQ(reader.skip(step.count), before);
          break;
        case kBlock: {
          std::string block(static_cast<std::size_t>(step.count), '?');
          EXPECT_EQ(reader.readBlock(block.data(), step.count), step.count);
          EXPECT_EQ(block, step.got);
          break;
        }
      }
      EXPECT_EQ(reader.cursor - reader.buffer, step.at);
      if (step.position >= 0) {
        EXPECT_EQ(reader.position, step.position);
      } else {
        EXPECT_GE(reader.position, reader.length);
        EXPECT_EQ(reader.remaining(), 0);
      }
    }
  }
}

}  // namespace
