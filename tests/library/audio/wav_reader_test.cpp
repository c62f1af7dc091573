// The WAV reader over hand-made files: how it walks the chunks, what it keeps, how far the data
// runs, and which files it refuses without dividing by zero or reading what is not there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/audio/sound.h"
#include "wav_test_support.h"

namespace {

using namespace wavtest;

const std::vector<ShownMessage> kNotEnoughMemory{{"Error", "Sorry, not enough memory"}};
const std::vector<std::string> kBadFormatInMemory{"Bad format: (memory)"};

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
  Bytes dataChunk = chunk("data", data);
  // Chunks that hold the bytes of other chunks' headers: passed over by their lengths.
  Bytes fakeFmt = fmtChunk({0x11, 2, 44100, 2048, 4});
  Bytes fakeData = chunk("data", {9, 8, 7, 6});
  Bytes comment;
  putText(comment, "INFOICMT");
  put32(comment, static_cast<std::uint32_t>(fakeData.size()));
  comment.insert(comment.end(), fakeData.begin(), fakeData.end());
  Bytes riffLengthUnknown = canonicalWav(f, data);
  std::memset(&riffLengthUnknown[4], 0xFF, 4);
  Bytes riffLengthZero = canonicalWav(f, data);
  std::memset(&riffLengthZero[4], 0, 4);
  const Case cases[] = {
      {"canonical", canonicalWav(f, data)},
      {"list chunk between fmt and data", riff({fmtChunk(f), chunk("LIST", list), dataChunk})},
      {"odd-length chunk with its pad byte",
       riff({fmtChunk(f), chunk("junk", {1, 2, 3}), dataChunk})},
      {"odd-length fmt chunk with its pad byte", riff({oddFmt, dataChunk})},
      {"18-byte fmt chunk", riff({fmtChunk(f, {0, 0}), chunk("fact", {37, 0, 0, 0}), dataChunk})},
      {"fmt chunk inside JUNK before the real one",
       riff({chunk("JUNK", fakeFmt), fmtChunk(f), dataChunk})},
      {"data chunk inside a LIST comment", riff({fmtChunk(f), chunk("LIST", comment), dataChunk})},
      {"chunks after the data", riff({fmtChunk(f), dataChunk, chunk("LIST", comment)})},
      {"RIFF length 0xFFFFFFFF", riffLengthUnknown},
      {"RIFF length 0", riffLengthZero},
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

// Every file refused without a message, with "Bad format: " traced: no RIFF form "WAVE", chunks
// that end before "fmt " and then "data", formats that cannot be turned into linear samples
// honestly, and formats that describe no whole frames (each would divide by zero, read past a
// frame or play at the wrong speed later on).
TEST(WavReader, RefusedAsBadFormat) {
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
  Bytes bigEndian = canonicalWav({1, 1, 8000, 1, 8}, data);
  std::memcpy(&bigEndian[0], "RIFX", 4);
  Bytes noRiff;
  putText(noRiff, "junkWAVE");
  Bytes body = fmtChunk({1, 1, 8000, 1, 8});
  noRiff.insert(noRiff.end(), body.begin(), body.end());
  Bytes dataChunk = chunk("data", data);
  noRiff.insert(noRiff.end(), dataChunk.begin(), dataChunk.end());
  // A chunk that claims more than the file holds leaves no room for the data after it.
  Bytes longJunk = riff({fmtChunk({1, 1, 8000, 1, 8}), chunk("JUNK", {1, 2}), dataChunk});
  longJunk[36 + 4] = 0xF0;
  // WAVE_FORMAT_EXTENSIBLE: the 16 fields, cbSize 22, valid bits, channel mask, sub-format.
  const auto extensible = [](std::uint16_t subFormat, std::uint8_t guidByte) {
    Bytes extra;
    put16(extra, 22);
    put16(extra, 16);
    put32(extra, 3);
    put16(extra, subFormat);
    const std::uint8_t tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, guidByte};
    extra.insert(extra.end(), tail, tail + 14);
    return extra;
  };
  Bytes shortExtensible = riff({fmtChunk({0xFFFE, 2, 8000, 4, 16}, {0, 0}), chunk("data", data)});
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"empty", {}},
      {"no WAVE", noWave},
      {"no RIFF header at all", noRiff},
      {"big-endian RIFX", bigEndian},
      {"ends after fmt, before data", cutAfterFmt},
      {"ends inside the data length", cutInDataLength},
      {"ends inside the fmt length", cutInFmtLength},
      {"fmt longer than the file", fmtLongerThanFile},
      {"a chunk longer than the file before data", longJunk},
      {"data before fmt", riff({dataChunk, fmtChunk({1, 1, 8000, 1, 8})})},
      {"fmt shorter than 16 bytes", short14},
      {"zero channels", canonicalWav({1, 0, 8000, 1, 8}, data)},
      {"zero block size", canonicalWav({1, 1, 8000, 0, 8}, data)},
      {"zero rate", canonicalWav({1, 1, 0, 1, 8}, data)},
      {"block smaller than the channels", canonicalWav({1, 4, 8000, 2, 8}, data)},
      {"16-bit frames of one byte", canonicalWav({1, 1, 8000, 1, 16}, data)},
      {"16-bit stereo frames of two bytes", canonicalWav({1, 2, 8000, 2, 16}, data)},
      {"16-bit mono frames of four bytes", canonicalWav({1, 1, 8000, 4, 16}, data)},
      {"8-bit stereo frames of three bytes", canonicalWav({1, 2, 8000, 3, 8}, data)},
      {"24-bit stereo frames of eight bytes", canonicalWav({1, 2, 8000, 8, 24}, data)},
      {"PCM of 0 bits", canonicalWav({1, 1, 8000, 1, 0}, data)},
      {"PCM of 40 bits", canonicalWav({1, 1, 8000, 5, 40}, data)},
      {"float of 16 bits", canonicalWav({3, 1, 8000, 2, 16}, data)},
      {"A-law of 16 bits", canonicalWav({6, 1, 8000, 2, 16}, data)},
      {"µ-law of 4 bits", canonicalWav({7, 1, 8000, 1, 4}, data)},
      {"MS ADPCM", canonicalWav({2, 1, 8000, 256, 4}, data)},
      {"IMA ADPCM", canonicalWav({0x11, 1, 8000, 256, 4}, data)},
      {"GSM 6.10", canonicalWav({0x31, 1, 8000, 65, 0}, data)},
      {"MPEG layer 3", canonicalWav({0x55, 1, 8000, 1, 0}, data)},
      {"format code 0", canonicalWav({0, 1, 8000, 1, 8}, data)},
      {"extensible IMA ADPCM",
       riff({fmtChunk({0xFFFE, 2, 8000, 4, 16}, extensible(0x11, 0x71)), chunk("data", data)})},
      {"extensible with a foreign GUID",
       riff({fmtChunk({0xFFFE, 2, 8000, 4, 16}, extensible(1, 0x72)), chunk("data", data)})},
      {"extensible without its sub-format", shortExtensible},
      {"extensible PCM with a wrong block",
       riff({fmtChunk({0xFFFE, 2, 8000, 2, 16}, extensible(1, 0x71)), chunk("data", data)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    Sound sound;
    EXPECT_EQ(sound.loadWavFromMemory(c.file.data(), c.file.size()), 0);
    EXPECT_EQ(sound.samples, nullptr);
    EXPECT_EQ(sound.dataLength, 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(messages.traced, kBadFormatInMemory);
  }
}

// Each stored form of a sample is recognised, with the plain and the extensible record alike,
// and the writer's code for a frame comes from its first sample as 16-bit linear.
TEST(WavReader, EncodingsFollowTheFormat) {
  const auto extensible = [](std::uint16_t subFormat, std::uint16_t validBits) {
    Bytes extra;
    put16(extra, 22);
    put16(extra, validBits);
    put32(extra, 4);
    put16(extra, subFormat);
    const std::uint8_t tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    extra.insert(extra.end(), tail, tail + 14);
    return extra;
  };
  const auto floatBytes = [](float value, std::size_t frameBytes) {
    Bytes out(frameBytes, 0);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
  };
  const auto doubleBytes = [](double value) {
    Bytes out(8, 0);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
  };
  struct Case {
    const char* name;
    Format format;
    Bytes extra;
    SampleEncoding encoding;
    Bytes frame;          // the first frame
    std::int16_t linear;  // its first sample as 16-bit linear
  };
  const Case cases[] = {
      {"8-bit PCM", {1, 1, 8000, 1, 8}, {}, SampleEncoding::kUnsigned8, {0xC0}, 16384},
      {"4-bit PCM in a byte",
       {1, 2, 8000, 2, 4},
       {},
       SampleEncoding::kUnsigned8,
       {0x30, 0},
       -20480},
      {"16-bit PCM",
       {1, 2, 8000, 4, 16},
       {},
       SampleEncoding::kSigned16,
       {0x34, 0x12, 0, 0},
       0x1234},
      {"12-bit PCM in two bytes",
       {1, 1, 8000, 2, 12},
       {},
       SampleEncoding::kSigned16,
       {0x50, 0xF3},
       -3248},
      {"24-bit PCM",
       {1, 1, 8000, 3, 24},
       {},
       SampleEncoding::kSigned24,
       {0xFF, 0x34, 0x12},
       0x1234},
      {"20-bit PCM in three bytes",
       {1, 2, 8000, 6, 20},
       {},
       SampleEncoding::kSigned24,
       {0x00, 0x10, 0x80, 0, 0, 0},
       -32752},
      {"32-bit PCM",
       {1, 1, 8000, 4, 32},
       {},
       SampleEncoding::kSigned32,
       {0xAA, 0xBB, 0x34, 0x12},
       0x1234},
      {"32-bit float",
       {3, 2, 8000, 8, 32},
       {},
       SampleEncoding::kFloat32,
       floatBytes(0.5f, 8),
       16384},
      {"32-bit float at -1.0",
       {3, 1, 8000, 4, 32},
       {},
       SampleEncoding::kFloat32,
       floatBytes(-1.0f, 4),
       -32768},
      {"32-bit float beyond full scale",
       {3, 1, 8000, 4, 32},
       {},
       SampleEncoding::kFloat32,
       floatBytes(2.5f, 4),
       32767},
      {"32-bit float not a number",
       {3, 1, 8000, 4, 32},
       {},
       SampleEncoding::kFloat32,
       floatBytes(std::nanf(""), 4),
       0},
      {"64-bit float",
       {3, 1, 8000, 8, 64},
       {},
       SampleEncoding::kFloat64,
       doubleBytes(-0.25),
       -8192},
      {"A-law", {6, 2, 8000, 2, 8}, {0, 0}, SampleEncoding::kALaw, {0xAA, 0}, 32256},
      {"A-law near zero", {6, 1, 8000, 1, 8}, {0, 0}, SampleEncoding::kALaw, {0x55}, -8},
      {"µ-law", {7, 1, 8000, 1, 8}, {0, 0}, SampleEncoding::kMuLaw, {0x80}, 32124},
      {"µ-law negative", {7, 1, 8000, 1, 8}, {0, 0}, SampleEncoding::kMuLaw, {0x2F}, -4092},
      {"extensible 24-bit PCM",
       {0xFFFE, 2, 8000, 6, 24},
       extensible(1, 24),
       SampleEncoding::kSigned24,
       {0, 0x34, 0x12, 0, 0, 0},
       0x1234},
      {"extensible 24 bits in 32",
       {0xFFFE, 1, 8000, 4, 32},
       extensible(1, 24),
       SampleEncoding::kSigned32,
       {0, 0xFF, 0x34, 0x12},
       0x1234},
      {"extensible float",
       {0xFFFE, 1, 8000, 4, 32},
       extensible(3, 32),
       SampleEncoding::kFloat32,
       floatBytes(0.5f, 4),
       16384},
      {"extensible µ-law",
       {0xFFFE, 1, 8000, 1, 8},
       extensible(7, 8),
       SampleEncoding::kMuLaw,
       {0x80},
       32124},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.frame.size(), c.format.blockAlign);
    Bytes data;
    for (int i = 0; i < 3; ++i) data.insert(data.end(), c.frame.begin(), c.frame.end());
    Bytes file = riff({fmtChunk(c.format, c.extra), chunk("data", data)});
    RecordingMessages messages;
    Sound sound;
    ASSERT_EQ(sound.loadWavFromMemory(file.data(), file.size()), 1);
    EXPECT_EQ(sound.encoding, c.encoding);
    EXPECT_EQ(sound.frameCount, 3);
    EXPECT_EQ(samplesOf(sound), data);
    EXPECT_TRUE(messages.traced.empty());
    std::uint8_t codes[3] = {};
    sound.encodeMuLaw(0, 3, codes);
    EXPECT_EQ(codes[0], linearToMuLaw(c.linear));
    EXPECT_EQ(codes[2], codes[0]);
  }
}

// How far the data runs: its declared length, or the end of the file when that comes first
// (a streamed file's placeholder lengths, a file cut short), never padded with silence. RF64
// takes the length from its ds64 chunk.
TEST(WavReader, DataRunsForItsLengthOrToTheEndOfTheFile) {
  const Format f{1, 2, 8000, 4, 16};
  const Bytes samples{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};  // two frames and half of one
  const auto declaring = [&](std::uint32_t declared) {
    Bytes file = canonicalWav(f, samples);
    std::memcpy(&file[40], &declared, 4);
    return file;
  };
  Bytes trailing = riff({fmtChunk(f), chunk("data", {1, 2, 3, 4}), chunk("LIST", {'x', 'y'})});
  // Zero bytes read as empty chunks of tag 0, walked through the reader's buffer.
  std::vector<Bytes> manyChunks{fmtChunk(f)};
  for (int i = 0; i < 3000; ++i) manyChunks.push_back(chunk(std::string(4, '\0'), {}));
  manyChunks.push_back(chunk("JUNK", Bytes(5000, 0)));
  manyChunks.push_back(chunk("data", samples));
  const Bytes emptyChunks = riff(manyChunks);
  // RF64: "RF64", -1, "WAVE", ds64 (RIFF, data and sample count lengths, an empty table).
  const auto rf64 = [&](const char* form, std::uint64_t dataLength, std::uint32_t chunkLength) {
    Bytes ds64;
    put32(ds64, 0xFFFFFFFF);
    put32(ds64, 0);
    put32(ds64, static_cast<std::uint32_t>(dataLength));
    put32(ds64, static_cast<std::uint32_t>(dataLength >> 32));
    put32(ds64, 2);
    put32(ds64, 0);
    put32(ds64, 0);
    Bytes file = riff({chunk("ds64", ds64), fmtChunk(f), chunk("data", samples)});
    std::memcpy(&file[0], form, 4);
    std::memset(&file[4], 0xFF, 4);
    const std::size_t dataAt = file.size() - samples.size() - 4;
    std::memcpy(&file[dataAt], &chunkLength, 4);
    return file;
  };
  struct Case {
    const char* name;
    Bytes file;
    std::int32_t length;
  };
  const Case cases[] = {
      {"declared and present", declaring(10), 10},
      {"declared shorter than present", declaring(8), 8},
      {"one byte beyond the file", declaring(11), 10},
      {"a megabyte beyond the file", declaring(1u << 20), 10},
      {"streamed to a pipe: 0x7FFFF000", declaring(0x7FFFF000u), 10},
      {"2 GB - 1", declaring(0x7FFFFFFFu), 10},
      {"unknown length: 0xFFFFFFFF", declaring(0xFFFFFFFFu), 10},
      {"chunks after the data", trailing, 4},
      {"3000 empty chunks and a large one before the data", emptyChunks, 10},
      {"RF64, length in ds64", rf64("RF64", 10, 0xFFFFFFFF), 10},
      {"RF64, ds64 shorter than present", rf64("RF64", 6, 0xFFFFFFFF), 6},
      {"RF64, ds64 beyond the file", rf64("RF64", 1ull << 40, 0xFFFFFFFF), 10},
      {"RF64, the chunk's own length", rf64("RF64", 1ull << 40, 8), 8},
      {"BW64", rf64("BW64", 10, 0xFFFFFFFF), 10},
  };
  for (const Case& c : cases) {
    for (bool fromDisk : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (fromDisk ? ", file" : ", memory"));
      TempFolder folder;
      std::string path = folder.write("in.wav", std::string(c.file.begin(), c.file.end()));
      RecordingMessages messages;
      Sound sound;
      int loaded = fromDisk ? sound.loadWav(path.c_str())
                            : sound.loadWavFromMemory(c.file.data(), c.file.size());
      ASSERT_EQ(loaded, 1);
      EXPECT_EQ(sound.dataLength, c.length);
      EXPECT_EQ(sound.frameCount, c.length / 4);
      EXPECT_EQ(samplesOf(sound), Bytes(samples.begin(), samples.begin() + c.length));
      EXPECT_EQ(sound.samples[c.length], 0);
      EXPECT_TRUE(messages.shown.empty());
    }
  }
}

// RF64 whose data chunk defers to a ds64 chunk that is not there.
TEST(WavReader, Rf64WithoutDs64IsRefused) {
  Bytes file = canonicalWav({1, 1, 8000, 1, 8}, {1, 2});
  std::memcpy(&file[0], "RF64", 4);
  std::memset(&file[40], 0xFF, 4);
  RecordingMessages messages;
  Sound sound;
  EXPECT_EQ(sound.loadWavFromMemory(file.data(), file.size()), 0);
  EXPECT_EQ(messages.traced, kBadFormatInMemory);
}

// Data that is really there but beyond what a Sound can hold (2 GB), in sparse files; and an
// allocator that refuses.
TEST(WavReader, DataThatCannotBeHeldIsOutOfMemory) {
  struct Case {
    const char* name;
    std::uint32_t declared;
    std::uintmax_t fileSize;
    std::size_t failAbove;
  };
  const Case cases[] = {
      {"0xFFFFFFFF over 3 GB", 0xFFFFFFFFu, 3ull << 30, SIZE_MAX},
      {"2 GB - 1 present: no room for the zero byte", 0x7FFFFFFFu, 44ull + 0x7FFFFFFF, SIZE_MAX},
      {"the allocator refuses", 1u << 17, 44u + (1u << 17), 1u << 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = canonicalWav({1, 1, 8000, 1, 8}, {1, 2});
    std::memcpy(&file[40], &c.declared, 4);
    TempFolder folder;
    std::string path = folder.write("big.wav", std::string(file.begin(), file.end()));
    std::filesystem::resize_file(path, c.fileSize);
    RecordingMessages messages;
    Sound sound;
    FailingMemory memory(SIZE_MAX, c.failAbove);
    // From memory, so that the allocator is asked for the whole block at once.
    std::string contents = c.fileSize < (1u << 20) ? folder.read("big.wav") : std::string();
    int loaded = contents.empty() ? sound.loadWav(path.c_str())
                                  : sound.loadWavFromMemory(contents.data(), contents.size());
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(messages.shown, kNotEnoughMemory);
    EXPECT_EQ(sound.samples, nullptr);
    EXPECT_FALSE(sound.hasSamples());
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
