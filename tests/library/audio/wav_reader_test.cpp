// The WAV reader over hand-made files: where it finds the tags, what it keeps, and which files it
// refuses without dividing by zero or reading what is not there.
#include <gtest/gtest.h>

#include <cstring>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/audio/sound.h"
#include "wav_test_support.h"

namespace {

using namespace wavtest;

const std::vector<ShownMessage> kNotEnoughMemory{{"Error", "Sorry, not enough memory"}};

Bytes samplesOf(const Sound& sound) {
  return Bytes(sound.samples, sound.samples + sound.dataLength);
}

TEST(WavReader, CanonicalFileFromDisk) {
  Format f{1, 2, 44100, 4, 16};
  Bytes data = stereo16(100);
  Bytes file = canonicalWav(f, data);
  ASSERT_EQ(file.size(), 44u + 400u);
  // The offsets of the canonical header, as the reader relies on them.
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 12), "WAVE");
  EXPECT_EQ(std::string(file.begin() + 12, file.begin() + 16), "fmt ");
  EXPECT_EQ(file[16], 16);
  EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");

  TempFolder folder;
  std::string path = folder.write("tone.wav", std::string(file.begin(), file.end()));
  RecordingMessages messages;
  Sound sound;
  ASSERT_EQ(sound.loadWav(path.c_str()), 1);
  EXPECT_EQ(sound.format->formatTag, 1);
  EXPECT_EQ(sound.format->channels, 2);
  EXPECT_EQ(sound.format->sampleRate, 44100u);
  EXPECT_EQ(sound.format->byteRate, 176400u);
  EXPECT_EQ(sound.format->blockAlign, 4);
  EXPECT_EQ(sound.format->bitsPerSample, 16);
  EXPECT_EQ(sound.dataLength, 400);
  EXPECT_EQ(sound.frameCount, 100);
  EXPECT_EQ(samplesOf(sound), data);
  EXPECT_EQ(sound.samples[400], 0);  // the zero byte after the samples
  EXPECT_TRUE(messages.shown.empty());
}

// Files whose tags and chunks lie differently must all give the same samples.
TEST(WavReader, ChunksAroundTheTagsDoNotChangeTheSamples) {
  const Format f{1, 1, 11025, 2, 16};
  Bytes data;
  for (int i = 0; i < 37; ++i) put16(data, static_cast<std::uint16_t>(i * 701));
  Bytes list;
  putText(list, "INFOICMT");
  put32(list, 5);
  putText(list, "hello");
  list.push_back(0);
  struct Case {
    const char* name;
    Bytes file;
  };
  Bytes oddFmt = fmtChunk(f, {0x77});  // 17 bytes and a pad byte
  Bytes headerless = fmtChunk(f);
  Bytes noRiff;
  putText(noRiff, "junkWAVE");
  noRiff.insert(noRiff.end(), headerless.begin(), headerless.end());
  Bytes dataChunk = chunk("data", data);
  noRiff.insert(noRiff.end(), dataChunk.begin(), dataChunk.end());
  const Case cases[] = {
      {"canonical", canonicalWav(f, data)},
      {"list chunk between fmt and data", riff({fmtChunk(f), chunk("LIST", list), dataChunk})},
      {"odd-length chunk with its pad byte",
       riff({fmtChunk(f), chunk("junk", {1, 2, 3}), dataChunk})},
      {"odd-length fmt chunk with its pad byte", riff({oddFmt, dataChunk})},
      {"18-byte fmt chunk", riff({fmtChunk(f, {0, 0}), chunk("fact", {37, 0, 0, 0}), dataChunk})},
      {"no RIFF header at all", noRiff},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    Sound sound;
    ASSERT_EQ(sound.loadWavFromMemory(c.file.data(), c.file.size()), 1);
    EXPECT_EQ(sound.format->sampleRate, 11025u);
    EXPECT_EQ(sound.frameCount, 37);
    EXPECT_EQ(samplesOf(sound), data);
    EXPECT_TRUE(messages.shown.empty());
  }
}

TEST(WavReader, AnEighteenByteFormatIsKeptWhole) {
  Bytes file = riff({fmtChunk({1, 1, 8000, 1, 8}, {0xAB, 0xCD}), chunk("data", {1, 2})});
  Sound sound;
  ASSERT_EQ(sound.loadWavFromMemory(file.data(), file.size()), 1);
  const auto* record = reinterpret_cast<const std::uint8_t*>(sound.format);
  EXPECT_EQ(record[16], 0xAB);
  EXPECT_EQ(record[17], 0xCD);
}

// The scan does not use chunk lengths: "data" inside an earlier chunk is taken as the tag.
TEST(WavReader, DataTagInsideAnEarlierChunkIsTakenAsTheTag) {
  Bytes trap;
  putText(trap, "data");
  put32(trap, 2);
  trap.push_back(9);
  trap.push_back(8);
  Bytes file =
      riff({fmtChunk({1, 1, 8000, 1, 8}), chunk("LIST", trap), chunk("data", {1, 2, 3, 4})});
  Sound sound;
  ASSERT_EQ(sound.loadWavFromMemory(file.data(), file.size()), 1);
  EXPECT_EQ(samplesOf(sound), (Bytes{9, 8}));
}

// Every file refused without a message: missing tags, cut lengths, and formats that describe no
// whole frames (each would divide by zero or read past a frame later on).
TEST(WavReader, RefusedSilently) {
  const Bytes data{1, 2, 3, 4, 5, 6, 7, 8};
  Bytes cutAfterFmt = riff({fmtChunk({1, 1, 8000, 1, 8})});
  Bytes cutInDataLength = cutAfterFmt;
  putText(cutInDataLength, "data");
  cutInDataLength.push_back(8);
  Bytes cutInFmtLength(cutAfterFmt.begin(), cutAfterFmt.begin() + 17);
  Bytes fmtLongerThanFile = riff({fmtChunk({1, 1, 8000, 1, 8})});
  fmtLongerThanFile[16] = 0xFF;
  fmtLongerThanFile[17] = 0xFF;
  Bytes short14;  // an old 14-byte format without bitsPerSample
  short14 = riff(
      {chunk("fmt ", {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0}), chunk("data", data)});
  Bytes noWave = canonicalWav({1, 1, 8000, 1, 8}, data);
  std::memcpy(&noWave[8], "WAVF", 4);
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"empty", {}},
      {"no WAVE", noWave},
      {"ends after fmt, before data", cutAfterFmt},
      {"ends inside the data length", cutInDataLength},
      {"ends inside the fmt length", cutInFmtLength},
      {"fmt longer than the file", fmtLongerThanFile},
      {"fmt shorter than 16 bytes", short14},
      {"zero channels", canonicalWav({1, 0, 8000, 1, 8}, data)},
      {"zero block size", canonicalWav({1, 1, 8000, 0, 8}, data)},
      {"block smaller than the channels", canonicalWav({1, 4, 8000, 2, 8}, data)},
      {"16-bit frames of one byte", canonicalWav({1, 1, 8000, 1, 16}, data)},
      {"16-bit stereo frames of two bytes", canonicalWav({1, 2, 8000, 2, 16}, data)},
      {"zero rate", canonicalWav({1, 1, 0, 1, 8}, data)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    Sound sound;
    EXPECT_EQ(sound.loadWavFromMemory(c.file.data(), c.file.size()), 0);
    EXPECT_EQ(sound.samples, nullptr);
    EXPECT_EQ(sound.dataLength, 0);
    EXPECT_TRUE(messages.shown.empty());
  }
}

TEST(WavReader, MissingFileFailsWithoutAMessage) {
  TempFolder folder;
  RecordingMessages messages;
  Sound sound;
  EXPECT_EQ(sound.loadWav(folder.file("missing.wav").c_str()), 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(messages.traced,
            std::vector<std::string>{"File not found: " + folder.file("missing.wav")});
}

// A data chunk declaring more than the file holds: the bytes present, then silence.
TEST(WavReader, DataRunningPastTheEndIsPaddedWithZeros) {
  Bytes file = canonicalWav({1, 2, 8000, 4, 16}, {1, 2, 3, 4, 5, 6});
  file[40] = 12;  // declares 12 bytes, holds 6
  for (bool fromDisk : {false, true}) {
    SCOPED_TRACE(fromDisk ? "file" : "memory");
    TempFolder folder;
    std::string path = folder.write("short.wav", std::string(file.begin(), file.end()));
    Sound sound;
    int loaded =
        fromDisk ? sound.loadWav(path.c_str()) : sound.loadWavFromMemory(file.data(), file.size());
    ASSERT_EQ(loaded, 1);
    EXPECT_EQ(sound.dataLength, 12);
    EXPECT_EQ(sound.frameCount, 3);
    EXPECT_EQ(Bytes(sound.samples, sound.samples + 13),
              (Bytes{1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0, 0}));
  }
}

TEST(WavReader, DataLengthThatCannotBeHeldIsOutOfMemory) {
  struct Case {
    const char* name;
    std::uint32_t declared;
    std::size_t failAbove;
  };
  const Case cases[] = {
      {"4 GB - 1", 0xFFFFFFFFu, SIZE_MAX},
      {"2 GB - 1: no room for the zero byte", 0x7FFFFFFFu, SIZE_MAX},
      {"the allocator refuses", 1u << 20, 1u << 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = canonicalWav({1, 1, 8000, 1, 8}, {1, 2});
    std::memcpy(&file[40], &c.declared, 4);
    RecordingMessages messages;
    Sound sound;
    FailingMemory memory(SIZE_MAX, c.failAbove);
    EXPECT_EQ(sound.loadWavFromMemory(file.data(), file.size()), 0);
    EXPECT_EQ(messages.shown, kNotEnoughMemory);
    EXPECT_EQ(sound.samples, nullptr);
  }
}

TEST(WavReader, LoadingAgainReplacesTheSamples) {
  Bytes first = canonicalWav({1, 1, 8000, 1, 8}, {1, 2, 3, 4});
  Bytes second = canonicalWav({1, 1, 22050, 2, 16}, {9, 9});
  Sound sound;
  ASSERT_EQ(sound.loadWavFromMemory(first.data(), first.size()), 1);
  ASSERT_EQ(sound.loadWavFromMemory(second.data(), second.size()), 1);
  EXPECT_EQ(samplesOf(sound), (Bytes{9, 9}));
  EXPECT_EQ(sound.frameCount, 1);
  EXPECT_EQ(sound.format->sampleRate, 22050u);
}

}  // namespace
