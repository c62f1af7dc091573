// Kestrilo_wav2au through string handles: the whole chain, and every case that must leave no AU
// file behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/audio/sound.h"
#include "library/exports/exports.h"
#include "library/audio/wav_test_support.h"

namespace {

using namespace wavtest;

std::int32_t wav2au(const std::string& wav, const std::string& au) {
  TestString wavName = TestString::latin1(wav);
  TestString auName = TestString::latin1(au);
  return Kestrilo_wav2au(nullptr, wavName.handle(), auName.handle());
}

TEST(Wav2Au, OneSecondOfStereoBecomesAnAuFileOf8036Bytes) {
  TempFolder folder;
  Bytes wav = canonicalWav({1, 2, 44100, 4, 16}, stereo16(44100));
  folder.write("in é.wav", std::string(wav.begin(), wav.end()));
  RecordingMessages messages;
  // The names travel as Latin-1 text; the files on disk have them in UTF-8.
  EXPECT_EQ(wav2au(folder.file("in \xE9.wav"), folder.file("out \xE9.au")), 1);
  std::string au = folder.read("out é.au");
  ASSERT_EQ(au.size(), 8036u);
  EXPECT_EQ(au.substr(0, 24),
            std::string(".snd\0\0\0\x18\0\0\x1F\x4C\0\0\0\x01\0\0\x1F\x4C\0\0\0\x01", 24));
  EXPECT_TRUE(messages.shown.empty());
}

// A WAV file converted onto itself: the samples, read in place from a large file, must be out of
// the file before it is replaced, whether or not the resampling copied them.
TEST(Wav2Au, LargeFileReplacedByItsOwnAuFile) {
  struct Case {
    const char* name;
    Format format;
    std::size_t frames;
    std::size_t auBytes;
  };
  const Case cases[] = {
      {"not resampled", {1, 2, 8012, 4, 16}, 300000, 24 + 300000},
      {"resampled", {1, 2, 16024, 4, 16}, 300000, 24 + 150000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    Bytes samples = stereo16(static_cast<std::int32_t>(c.frames));
    Bytes wav = canonicalWav(c.format, samples);
    const std::string path = folder.write("sound", std::string(wav.begin(), wav.end()));
    ASSERT_EQ(wav2au(path, path), 1);
    const std::string au = folder.read("sound");
    ASSERT_EQ(au.size(), c.auBytes);
    // Frame i of the output holds the left sample of source frame 0, 1, 2, ... or 0, 2, 4, ...
    const std::size_t every = c.format.sampleRate / kAuSampleRate;
    for (std::size_t i = 0; i < c.auBytes - 24; i += 9973) {
      ASSERT_EQ(static_cast<std::uint8_t>(au[24 + i]),
                linearToMuLaw(static_cast<std::int16_t>(i * every)))
          << i;
    }
  }
}

TEST(Wav2Au, RefusalsLeaveNoAuFile) {
  TempFolder folder;
  Bytes good = canonicalWav({1, 1, 22050, 1, 8}, Bytes(2205, 128));
  std::string goodWav = folder.write("good.wav", std::string(good.begin(), good.end()));
  std::string noData = folder.write("nodata.wav", std::string(good.begin(), good.begin() + 36));
  Bytes zero = canonicalWav({1, 0, 22050, 1, 8}, Bytes(10, 128));
  std::string zeroChannels = folder.write("zero.wav", std::string(zero.begin(), zero.end()));
  std::string longName = folder.file(std::string(256 - folder.path().string().size(), 'a'));
  ASSERT_EQ(longName.size(), 257u);
  std::string longWav = folder.write(std::filesystem::path(longName).filename().string(),
                                     std::string(good.begin(), good.end()));
  struct Case {
    const char* name;
    std::string wav;
  };
  const Case cases[] = {
      {"missing WAV", folder.file("missing.wav")},
      {"no data", noData},
      {"zero channels", zeroChannels},
      {"WAV name of 256 characters", longWav},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    EXPECT_EQ(wav2au(c.wav, folder.file("out.au")), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.au")));
    EXPECT_TRUE(messages.shown.empty());
  }
  // An AU name of 256 characters is refused too, not cut to a file never named.
  std::string longAu = folder.file(std::string(256 - folder.path().string().size(), 'b'));
  EXPECT_EQ(wav2au(goodWav, longAu), 0);
  EXPECT_FALSE(std::filesystem::exists(longAu));
  EXPECT_FALSE(std::filesystem::exists(longAu.substr(0, 255)));
  // 255 characters are accepted.
  EXPECT_EQ(wav2au(goodWav, longAu.substr(0, 255)), 1);
  EXPECT_TRUE(std::filesystem::exists(longAu.substr(0, 255)));
}

TEST(Wav2Au, AuFileThatCannotBeCreated) {
  TempFolder folder;
  Bytes good = canonicalWav({1, 1, 8000, 1, 8}, Bytes(100, 128));
  std::string wav = folder.write("good.wav", std::string(good.begin(), good.end()));
  RecordingMessages messages;
  EXPECT_EQ(wav2au(wav, folder.file("missing/out.au")), 0);
  EXPECT_TRUE(messages.shown.empty());
}

// A conversion that cannot get its buffer ends the call before the AU file is created.
TEST(Wav2Au, OutOfMemoryInAConversionWritesNothing) {
  TempFolder folder;
  Bytes wav = canonicalWav({1, 2, 44100, 4, 16}, stereo16(44100));
  std::string in = folder.write("in.wav", std::string(wav.begin(), wav.end()));
  RecordingMessages messages;
  // The format record and the sample buffer are granted; the resampled buffer is not.
  FailingMemory memory(2);
  EXPECT_EQ(wav2au(in, folder.file("out.au")), 0);
  EXPECT_FALSE(std::filesystem::exists(folder.file("out.au")));
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Error", "Sorry, not enough memory"}}));
}

}  // namespace
