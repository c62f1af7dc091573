// Channel reduction, zero-order-hold resampling, µ-law codes and the AU bytes, with the figures
// the conversion is fixed by.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "fakes/recording_services.h"
#include "fakes/small_file_system.h"
#include "fakes/temp_folder.h"
#include "library/audio/sound.h"
#include "wav_test_support.h"

namespace {

using namespace wavtest;

Sound* loaded(Sound& sound, const Format& f, const Bytes& data) {
  Bytes file = canonicalWav(f, data);
  EXPECT_EQ(sound.loadWavFromMemory(file.data(), file.size()), 1);
  return &sound;
}

std::int16_t sampleAt(const Sound& sound, std::int32_t frame) {
  const std::uint8_t* p = sound.frame(frame);
  return static_cast<std::int16_t>(p[0] | p[1] << 8);
}

// The sound's bytes as one packed block: each frame's blockAlign bytes, then the silence up to
// dataLength.
Bytes soundBytes(const Sound& sound) {
  Bytes out;
  for (std::int32_t i = 0; i < sound.frameCount; ++i) {
    out.insert(out.end(), sound.frame(i), sound.frame(i) + sound.format->blockAlign);
  }
  out.resize(static_cast<std::size_t>(sound.dataLength), 0);
  return out;
}

std::uint32_t bigEndian(const std::string& bytes, std::size_t offset) {
  auto b = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[offset + i]));
  };
  return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

TEST(MuLaw, Codes) {
  const std::pair<std::int16_t, std::uint8_t> cases[] = {
      {0, 0xFF},      {1, 0xFF},     {-1, 0x7F},    {100, 0xF2},   {-100, 0x72},
      {1000, 0xCE},   {4000, 0xAF},  {-4000, 0x2F}, {32767, 0x80}, {-32767, 0x00},
      {-32768, 0x00}, {32635, 0x80}, {123, 0xF0},   {-8159, 0x1F},
  };
  for (auto [sample, code] : cases) {
    SCOPED_TRACE(sample);
    EXPECT_EQ(linearToMuLaw(sample), code);
  }
}

// The curve is monotonic: a larger sample never gets a code for a smaller magnitude.
TEST(MuLaw, MagnitudeNeverDecreases) {
  auto level = [](std::uint8_t code) {
    int v = static_cast<std::uint8_t>(~code);
    int magnitude = (v & 0x70) << 4 | (v & 0x0F) << 1;
    return (v & 0x80) ? -magnitude : magnitude;
  };
  for (int s = -32768; s < 32767; ++s) {
    ASSERT_LE(level(linearToMuLaw(static_cast<std::int16_t>(s))),
              level(linearToMuLaw(static_cast<std::int16_t>(s + 1))))
        << s;
  }
}

TEST(SetChannels, OneSecondOfStereoKeepsTheLeftChannel) {
  Sound sound;
  loaded(sound, {1, 2, 44100, 4, 16}, stereo16(44100));
  ASSERT_EQ(sound.dataLength, 176400);
  EXPECT_TRUE(sound.setChannels(1));
  EXPECT_EQ(sound.dataLength, 88200);
  EXPECT_EQ(sound.frameCount, 44100);
  EXPECT_EQ(sound.format->channels, 1);
  EXPECT_EQ(sound.format->blockAlign, 2);
  EXPECT_EQ(sound.format->byteRate, 88200u);
  EXPECT_EQ(sound.format->sampleRate, 44100u);
  EXPECT_EQ(sound.format->bitsPerSample, 16);
  for (std::int32_t i : {0, 1, 2, 12345, 44099})
    EXPECT_EQ(sampleAt(sound, i), static_cast<std::int16_t>(i));
}

TEST(SetChannels, RequestsThatChangeNothing) {
  struct Case {
    const char* name;
    Format format;
    std::int32_t n;
  };
  const Case cases[] = {
      {"0 channels", {1, 2, 8000, 4, 16}, 0},
      {"3 channels", {1, 2, 8000, 4, 16}, 3},
      {"already mono", {1, 1, 8000, 2, 16}, 1},
      {"already stereo", {1, 2, 8000, 4, 16}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sound sound;
    loaded(sound, c.format, stereo16(10));
    const std::uint8_t* before = sound.samples;
    EXPECT_TRUE(sound.setChannels(c.n));
    EXPECT_EQ(sound.samples, before);
    EXPECT_EQ(sound.dataLength, 40);
    EXPECT_EQ(sound.format->channels, c.format.channels);
  }
}

TEST(SetChannels, RaisingToStereoRepeatsTheChannel) {
  Sound sound;
  loaded(sound, {1, 1, 8000, 2, 16}, {1, 2, 3, 4});
  EXPECT_TRUE(sound.setChannels(2));
  EXPECT_EQ(soundBytes(sound), (Bytes{1, 2, 1, 2, 3, 4, 3, 4}));
  EXPECT_EQ(sound.format->blockAlign, 4);
  EXPECT_EQ(sound.frameCount, 2);
}

// A length that is not a whole number of frames leaves a byte no frame writes: it is silence.
TEST(SetChannels, BytesAfterTheLastFrameAreSilence) {
  Sound sound;
  loaded(sound, {1, 2, 8000, 4, 16}, {1, 2, 3, 4, 5, 6, 7});  // one frame and 3 bytes
  EXPECT_TRUE(sound.setChannels(1));
  ASSERT_EQ(sound.dataLength, 3);
  EXPECT_EQ(soundBytes(sound), (Bytes{1, 2, 0}));
}

// The source frame behind each of the first output frames at 8012 frames per second.
TEST(SetSampleRate, SourceFramesChosen) {
  struct Case {
    std::uint32_t rate;
    std::int32_t expectedLength;
    std::vector<int> sources;
  };
  const Case cases[] = {
      {22050, 8012, {0, 2, 5, 8, 11, 13, 16, 19}},
      {11025, 8012, {0, 1, 2, 4, 5, 6, 8, 9}},
      {44100, 8012, {0, 5, 11, 16, 22, 27, 33, 38}},
      {8000, 8012, {0, 0, 1, 2, 3, 4, 5, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    // One second of 8-bit mono whose frame i holds i & 0xFF.
    Bytes data(c.rate);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    Sound sound;
    loaded(sound, {1, 1, c.rate, 1, 8}, data);
    EXPECT_TRUE(sound.setSampleRate(8012));
    EXPECT_EQ(sound.dataLength, c.expectedLength);
    EXPECT_EQ(sound.frameCount, c.expectedLength);
    EXPECT_EQ(sound.format->sampleRate, 8012u);
    EXPECT_EQ(sound.format->byteRate, 8012u);
    EXPECT_EQ(std::vector<int>(sound.samples, sound.samples + 8), c.sources);
  }
}

TEST(SetSampleRate, OneSecondOf16BitMonoTo8012) {
  Sound sound;
  loaded(sound, {1, 2, 44100, 4, 16}, stereo16(44100));
  ASSERT_TRUE(sound.setChannels(1));
  EXPECT_TRUE(sound.setSampleRate(8012));
  EXPECT_EQ(sound.dataLength, 16024);
  EXPECT_EQ(sound.frameCount, 8012);
  EXPECT_EQ(sound.format->byteRate, 16024u);
  // Frame 8011 takes source frame floor(8011 × 5.5042434...) = 44094.
  EXPECT_EQ(sampleAt(sound, 8011), 44094 - 65536);
}

TEST(SetSampleRate, RateLimits) {
  struct Case {
    std::int32_t rate;
    bool changes;
  };
  const Case cases[] = {{999, false},   {1000, true}, {100000, true}, {100001, false},
                        {22050, false}, {0, false},   {-8012, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    Sound sound;
    loaded(sound, {1, 1, 22050, 1, 8}, Bytes(22050, 7));
    EXPECT_TRUE(sound.setSampleRate(c.rate));
    EXPECT_EQ(sound.format->sampleRate, c.changes ? static_cast<std::uint32_t>(c.rate) : 22050u);
    EXPECT_EQ(sound.dataLength, c.changes ? (c.rate & ~3) : 22050);
  }
}

// Frames whose source lies past the data, when a short tail is stretched, are silence.
TEST(SetSampleRate, LengthRoundedDownAndMissingSourcesSilent) {
  Sound sound;
  loaded(sound, {1, 1, 1000, 2, 16}, {1, 0, 2, 0, 3, 0});  // 3 frames at 1000 Hz
  EXPECT_TRUE(sound.setSampleRate(3000));
  // 6 × 3000 / 1000 = 18, rounded down to 16: 8 frames from a step of 1/3.
  ASSERT_EQ(sound.dataLength, 16);
  EXPECT_EQ(sound.frameCount, 8);
  EXPECT_EQ(Bytes(sound.samples, sound.samples + 16),
            (Bytes{1, 0, 1, 0, 1, 0, 2, 0, 2, 0, 2, 0, 3, 0, 3, 0}));
}

TEST(SetSampleRate, LengthBeyond32BitsIsRefused) {
  Sound sound;
  loaded(sound, {1, 1, 1000, 1, 8}, Bytes(30000000, 1));
  RecordingMessages messages;
  EXPECT_FALSE(sound.setSampleRate(100000));  // 3 GB
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Error", "Sorry, not enough memory"}}));
  EXPECT_EQ(sound.dataLength, 30000000);
  EXPECT_EQ(sound.format->sampleRate, 1000u);
}

TEST(Conversions, FailedAllocationLeavesTheSoundAsItWas) {
  Sound sound;
  loaded(sound, {1, 1, 44100, 2, 16}, stereo16(100));
  RecordingMessages messages;
  FailingMemory memory;
  EXPECT_FALSE(sound.setChannels(2));
  EXPECT_FALSE(sound.setSampleRate(8012));
  EXPECT_EQ(sound.dataLength, 400);
  EXPECT_EQ(sound.format->channels, 1);
  EXPECT_EQ(sound.format->sampleRate, 44100u);
  EXPECT_EQ(messages.shown.size(), 2u);
  // Reducing the channels needs no new buffer.
  EXPECT_TRUE(sound.setChannels(1));
}

TEST(SaveAu, HeaderAndBytesOfOneSecondOfStereo) {
  Sound sound;
  loaded(sound, {1, 2, 44100, 4, 16}, stereo16(44100));
  ASSERT_TRUE(sound.setChannels(1));
  ASSERT_TRUE(sound.setSampleRate(8012));
  TempFolder folder;
  EXPECT_EQ(sound.saveAu(folder.file("out.au").c_str()), 1);
  std::string au = folder.read("out.au");
  ASSERT_EQ(au.size(), 8036u);
  EXPECT_EQ(au.substr(0, 4), ".snd");
  const std::uint32_t header[6] = {0x2E736E64, 24, 8012, 1, 8012, 1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(bigEndian(au, 4 * i), header[i]) << "field " << i;
  for (std::int32_t i = 0; i < 8012; ++i) {
    ASSERT_EQ(static_cast<std::uint8_t>(au[24 + i]), linearToMuLaw(sampleAt(sound, i))) << i;
  }
}

// One code per frame, of the frame's first sample: 8-bit samples are unsigned, stereo writes its
// left channel, 24-bit its high two bytes as a 16-bit value.
TEST(SaveAu, FirstSampleOfEachFrame) {
  struct Case {
    const char* name;
    Format format;
    Bytes data;
    std::string codes;
  };
  const Case cases[] = {
      {"8-bit", {1, 1, 8012, 1, 8}, {128, 255, 0, 129}, std::string("\xFF\x80\x00\xE7", 4)},
      {"stereo 16-bit",
       {1, 2, 8012, 4, 16},
       {0xE8, 0x03, 0x60, 0xF0, 0x64, 0x00, 0x00, 0x00},
       "\xCE\xF2"},
      {"24-bit", {1, 1, 8012, 3, 24}, {0xA0, 0x0F, 0x7F, 0x9C, 0xFF, 0x00}, "\x80\xE7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sound sound;
    loaded(sound, c.format, c.data);
    TempFolder folder;
    ASSERT_EQ(sound.saveAu(folder.file("out.au").c_str()), 1);
    std::string au = folder.read("out.au");
    ASSERT_EQ(au.size(), 24 + c.codes.size());
    EXPECT_EQ(bigEndian(au, 20), c.format.channels);
    EXPECT_EQ(au.substr(24), c.codes);
  }
}

TEST(SaveAu, FileThatCannotBeCreated) {
  TempFolder folder;
  Sound sound;
  loaded(sound, {1, 1, 8012, 1, 8}, {1});
  RecordingMessages messages;
  EXPECT_EQ(sound.saveAu(folder.file("no/such/folder.au").c_str()), 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(messages.traced.size(), 1u);
}

// A full disk: the failure is shown once, the writing ends, and the file that had the name is
// as it was, with nothing beside it.
TEST(SaveAu, AFailedWriteLeavesThePreviousFile) {
  SmallFileSystem disk(64 * 1024);
  SKIP_WITHOUT_SMALL_FILE_SYSTEM(disk);
  const std::string old(5000, 'o');
  const std::string name = disk.write("out.au", old);
  disk.fill();
  Sound sound;
  loaded(sound, {1, 1, 8012, 1, 8}, Bytes(100000, 200));
  RecordingMessages messages;
  EXPECT_EQ(sound.saveAu(name.c_str()), 0);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Error", "Cannot write file"}}));
  EXPECT_EQ(disk.read("out.au"), old);
  EXPECT_EQ(disk.names(), (std::set<std::string>{"filler", "out.au"}));
}

#ifndef _WIN32  // FIFOs and /dev; the Windows layer's own tests refuse NUL and CON
TEST(SaveAu, DevicesAndPipesAreRefused) {
  TempFolder folder;
  const std::string fifo = folder.file("pipe.au");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& name : {fifo, std::string("/dev/full"), std::string("/dev/null")}) {
    SCOPED_TRACE(name);
    Sound sound;
    loaded(sound, {1, 1, 8012, 1, 8}, Bytes(100, 200));
    RecordingMessages messages;
    EXPECT_EQ(sound.saveAu(name.c_str()), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(messages.traced, std::vector<std::string>{"Cannot create file: " + name});
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}
#endif

}  // namespace
