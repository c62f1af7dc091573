// The whole chain of the export (load, one channel, 8012 frames per second, AU bytes) against a
// plain model of it that packs every step into a new buffer. The Sound takes shortcuts (dropped
// channels stay in place, large files are read a chunk at a time by the resampling); the AU bytes
// must not show it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/audio/sound.h"
#include "wav_test_support.h"

namespace {

using namespace wavtest;

// The AU file of the export, worked out step by step on packed buffers.
std::string modelAu(const Format& f, Bytes data) {
  std::uint32_t block = f.blockAlign;
  std::uint32_t rate = f.sampleRate;
  std::int64_t frames = static_cast<std::int64_t>(data.size()) / block;
  if (f.channels != 1) {
    const std::uint32_t kept = block / f.channels;
    Bytes mono(data.size() / f.channels, 0);
    for (std::int64_t i = 0; i < frames; ++i) {
      std::copy_n(data.begin() + i * block, kept, mono.begin() + i * kept);
    }
    data = mono;
    block = kept;
  }
  if (rate != kAuSampleRate) {
    const auto length =
        static_cast<std::int64_t>(static_cast<double>(data.size()) * kAuSampleRate / rate) & ~3;
    const float step = static_cast<float>(static_cast<double>(rate) / kAuSampleRate);
    Bytes resampled(static_cast<std::size_t>(length), 0);
    frames = length / block;
    for (std::int64_t i = 0; i < frames; ++i) {
      const auto s = static_cast<std::int64_t>(static_cast<double>(i) * static_cast<double>(step));
      if ((s + 1) * block <= static_cast<std::int64_t>(data.size())) {
        std::copy_n(data.begin() + s * block, block, resampled.begin() + i * block);
      }
    }
    data = resampled;
    rate = kAuSampleRate;
  }
  std::string au;
  for (std::uint32_t field : {0x2E736E64u, 24u, static_cast<std::uint32_t>(frames), 1u, rate, 1u}) {
    for (int shift = 24; shift >= 0; shift -= 8) au += static_cast<char>(field >> shift);
  }
  for (std::int64_t i = 0; i < frames; ++i) {
    const std::uint8_t* p = &data[static_cast<std::size_t>(i * block)];
    // The high 16 bits of a sample of two bytes or more.
    const int bytes = (f.bitsPerSample + 7) / 8;
    const auto sample = bytes == 1 ? static_cast<std::int16_t>((p[0] - 128) * 256)
                                   : static_cast<std::int16_t>(p[bytes - 2] | p[bytes - 1] << 8);
    au += static_cast<char>(linearToMuLaw(sample));
  }
  return au;
}

Bytes noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes out(size);
  for (auto& byte : out) byte = static_cast<std::uint8_t>(random());
  return out;
}

// Loads the WAV bytes (from a file on disk, or from memory), runs the export's steps and returns
// the AU file.
std::string ourAu(const Bytes& file, bool fromDisk) {
  TempFolder folder;
  Sound sound;
  const std::string wav = folder.write("in.wav", std::string(file.begin(), file.end()));
  const int loaded =
      fromDisk ? sound.loadWav(wav.c_str()) : sound.loadWavFromMemory(file.data(), file.size());
  EXPECT_EQ(loaded, 1);
  EXPECT_TRUE(sound.setChannels(1));
  EXPECT_TRUE(sound.setSampleRate(kAuSampleRate));
  const std::string au = folder.file("out.au");
  EXPECT_EQ(sound.saveAu(au.c_str()), 1);
  return folder.read("out.au");
}

TEST(ConversionChain, MatchesTheStepByStepModel) {
  struct Case {
    const char* name;
    Format format;
    std::size_t dataBytes;
  };
  const Case cases[] = {
      {"16-bit stereo 44100", {1, 2, 44100, 4, 16}, 40000},
      {"16-bit stereo, a partial frame at the end", {1, 2, 44100, 4, 16}, 40003},
      {"8-bit mono 22050", {1, 1, 22050, 1, 8}, 9001},
      {"8-bit stereo 11025", {1, 2, 11025, 2, 8}, 8191},
      {"24-bit mono 48000", {1, 1, 48000, 3, 24}, 30001},
      {"24-bit stereo 32000", {1, 2, 32000, 6, 24}, 30004},
      {"20 bits in frames of 3 bytes", {1, 1, 8000, 3, 20}, 3001},
      {"16-bit stereo already at 8012", {1, 2, 8012, 4, 16}, 8012},
      {"16-bit mono raised from 7000", {1, 1, 7000, 2, 16}, 7002},
      {"16-bit stereo raised from 1000", {1, 2, 1000, 4, 16}, 402},
  };
  unsigned seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes data = noise(c.dataBytes, seed++);
    const Bytes file = canonicalWav(c.format, data);
    for (bool fromDisk : {false, true}) {
      SCOPED_TRACE(fromDisk ? "file" : "memory");
      EXPECT_EQ(ourAu(file, fromDisk), modelAu(c.format, data));
    }
  }
}

// Sample data of a megabyte or more is read a chunk at a time: the chain takes no memory of that
// size, and the AU bytes are the model's all the same.
TEST(ConversionChain, LargeFileIsReadInChunks) {
  const Format format{1, 2, 44100, 4, 16};
  const Bytes data = noise(3u << 20, 99);
  const Bytes file = canonicalWav(format, data);
  std::string au;
  {
    FailingMemory memory(SIZE_MAX, 1u << 19);
    au = ourAu(file, true);
  }
  EXPECT_EQ(au, modelAu(format, data));
}

// A large data chunk that declares more than the file holds runs to the end of the file, and
// is read in chunks like any other.
TEST(ConversionChain, LargeShortFileRunsToItsEnd) {
  const Format format{1, 2, 22050, 4, 16};
  Bytes data = noise(2u << 20, 7);
  Bytes file = canonicalWav(format, data);
  const std::uint32_t declared = static_cast<std::uint32_t>(data.size()) + 4096;
  std::memcpy(&file[40], &declared, 4);
  EXPECT_EQ(ourAu(file, true), modelAu(format, data));
}

// A large file shortened after the load, before the resampling reads it: what is gone is
// silence, and what is left is still the file's.
TEST(ConversionChain, AFileShortenedAfterTheLoadGivesSilenceForWhatIsGone) {
  const Format format{1, 2, 44100, 4, 16};
  const Bytes data = noise(2u << 20, 11);
  const Bytes file = canonicalWav(format, data);
  for (std::size_t kept : {std::size_t{0}, std::size_t{4096}}) {
    SCOPED_TRACE(kept);
    TempFolder folder;
    const std::string wav = folder.write("in.wav", std::string(file.begin(), file.end()));
    Sound sound;
    ASSERT_EQ(sound.loadWav(wav.c_str()), 1);
    std::filesystem::resize_file(wav, kept);
    ASSERT_TRUE(sound.setChannels(1));
    ASSERT_TRUE(sound.setSampleRate(kAuSampleRate));
    const std::string au = folder.file("out.au");
    ASSERT_EQ(sound.saveAu(au.c_str()), 1);
    Bytes left(data.size(), 0);
    const std::size_t present = kept > 44 ? kept - 44 : 0;
    std::copy_n(data.begin(), present, left.begin());
    EXPECT_EQ(folder.read("out.au"), modelAu(format, left));
  }
}

}  // namespace
