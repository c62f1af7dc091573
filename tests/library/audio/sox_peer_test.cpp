// The reader and the AU writer against sox: WAV files that sox made load to the sample bytes sox
// itself reads from them, and the AU files we write are read by sox with one channel, 8012
// frames per second, the expected number of frames, and samples that decode close to the source
// frames they were taken from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/audio/sound.h"
#include "library/exports/exports.h"
#include "platform/posix/process.h"
#include "wav_test_support.h"

namespace {

using platform::posix::runProgram;
using wavtest::Bytes;

std::string run(const std::vector<std::string>& argv) {
  platform::posix::ProcessResult result = runProgram(argv, {}, true);
  EXPECT_EQ(result.exitStatus, 0) << argv[0] << " " << argv[1];
  return result.output;
}

Bytes readBytes(const TempFolder& folder, const std::string& name) {
  std::string text = folder.read(name);
  return Bytes(text.begin(), text.end());
}

void writeBytes(const TempFolder& folder, const std::string& name, const Bytes& bytes) {
  folder.write(name, std::string(bytes.begin(), bytes.end()));
}

// A µ-law AU file's samples as 16-bit linear, decoded by sox.
std::vector<double> auSamples(const TempFolder& folder, const std::string& au) {
  run({"sox", folder.file(au), "-t", "raw", "-e", "signed", "-b", "16", folder.file(au + ".raw")});
  const Bytes raw = readBytes(folder, au + ".raw");
  std::vector<double> out;
  for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
    out.push_back(static_cast<std::int16_t>(raw[i] | raw[i + 1] << 8));
  }
  return out;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const std::size_t n = std::min(a.size(), b.size());
  double ma = 0, mb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    ma += a[i];
    mb += b[i];
  }
  ma /= n;
  mb /= n;
  double ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) * (a[i] - ma);
    bb += (b[i] - mb) * (b[i] - mb);
  }
  return ab / std::sqrt(aa * bb);
}

// A chunk between "fmt " and "data" of a sox file: a LIST chunk of odd length and its pad byte.
Bytes withListChunk(const Bytes& wav) {
  std::size_t fmtLength = wav[16] | wav[17] << 8;
  std::size_t afterFmt = 20 + fmtLength + (fmtLength & 1);
  Bytes list =
      wavtest::chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 3, 0, 0, 0, 'a', 'b', 'c'});
  Bytes out(wav.begin(), wav.begin() + static_cast<std::ptrdiff_t>(afterFmt));
  out.insert(out.end(), list.begin(), list.end());
  out.insert(out.end(), wav.begin() + static_cast<std::ptrdiff_t>(afterFmt), wav.end());
  return out;
}

struct Variant {
  const char* name;
  std::uint32_t rate;
  int bits;
  int channels;
  const char* encoding;  // sox's -e
  bool listChunk;
  double seconds = 0.7;  // not a whole second; long enough files are read in place
};

class SoxPeer : public testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    if (platform::posix::findOnPath("sox").empty()) {
      FAIL() << "sox is not installed (scripts/install-deps.sh)";
    }
  }
};

TEST_P(SoxPeer, SoxFilesLoadAndOurAuFilesReadBack) {
  const Variant& v = GetParam();
  TempFolder folder;
  const std::string wav = folder.file("in.wav");
  // Two different tones, so that a swapped or mixed channel shows.
  run({"sox", "-n", "-r", std::to_string(v.rate), "-b", std::to_string(v.bits), "-c",
       std::to_string(v.channels), "-e", v.encoding, wav, "synth", std::to_string(v.seconds),
       "sine", "300", "sine", "1234", "gain", "-3"});
  if (v.listChunk) writeBytes(folder, "in.wav", withListChunk(readBytes(folder, "in.wav")));
  run({"sox", wav, "-t", "raw", folder.file("in.raw")});
  const Bytes raw = readBytes(folder, "in.raw");
  const int block = v.bits / 8 * v.channels;
  const std::int32_t frames = static_cast<std::int32_t>(raw.size()) / block;
  ASSERT_EQ(frames, static_cast<std::int32_t>(std::lround(v.seconds * v.rate)));

  Sound sound;
  ASSERT_EQ(sound.loadWav(wav.c_str()), 1);
  EXPECT_EQ(sound.format->channels, v.channels);
  EXPECT_EQ(sound.format->sampleRate, v.rate);
  EXPECT_EQ(sound.format->blockAlign, block);
  EXPECT_EQ(sound.frameCount, frames);
  ASSERT_TRUE(sound.holdSamplesInMemory());
  ASSERT_EQ(Bytes(sound.samples, sound.samples + sound.dataLength), raw);

  TestString wavName = TestString::latin1(wav);
  TestString auName = TestString::latin1(folder.file("out.au"));
  ASSERT_EQ(Kestrilo_wav2au(nullptr, wavName.handle(), auName.handle()), 1);

  // What sox reads from the header and counts in the file.
  const std::int64_t bytesPerChannel = v.bits / 8;
  const std::int64_t monoLength = static_cast<std::int64_t>(raw.size()) / v.channels;
  const std::int64_t expectedFrames =
      v.rate == kAuSampleRate
          ? monoLength / bytesPerChannel
          : (static_cast<std::int64_t>(static_cast<double>(monoLength) * kAuSampleRate / v.rate) &
             ~3) /
                bytesPerChannel;
  const std::string au = folder.file("out.au");
  EXPECT_EQ(std::atoi(run({"sox", "--i", "-c", au}).c_str()), 1);
  EXPECT_EQ(std::atoi(run({"sox", "--i", "-r", au}).c_str()), 8012);
  EXPECT_EQ(std::atoll(run({"sox", "--i", "-s", au}).c_str()), expectedFrames);
  EXPECT_EQ(run({"sox", "--i", "-e", au}), "u-law\n");

  // Converted back by sox, each sample is within the µ-law step of the source frame's first
  // sample (the frame at or before its time).
  run({"sox", au, "-t", "raw", "-e", "signed", "-b", "16", folder.file("back.raw")});
  const Bytes back = readBytes(folder, "back.raw");
  ASSERT_EQ(static_cast<std::int64_t>(back.size()), 2 * expectedFrames);
  const double step = static_cast<float>(static_cast<double>(v.rate) / kAuSampleRate);
  std::int64_t far = 0;
  for (std::int64_t i = 0; i < expectedFrames; ++i) {
    const auto s = v.rate == kAuSampleRate ? i : static_cast<std::int64_t>(i * step);
    std::int32_t source = 0;
    if (s < frames) {
      const std::uint8_t* p = raw.data() + s * block;
      // The high 16 bits of the sample, whatever its width.
      const std::uint8_t* high = p + v.bits / 8 - 2;
      source = v.bits == 8 ? (p[0] - 128) * 256 : static_cast<std::int16_t>(high[0] | high[1] << 8);
    }
    const auto decoded = static_cast<std::int16_t>(back[2 * i] | back[2 * i + 1] << 8);
    const double tolerance = (std::abs(source) + 132) / 16.0 + 8;
    if (std::abs(decoded - std::min(std::max(source, -32635), 32635)) > tolerance) ++far;
  }
  EXPECT_EQ(far, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Wav, SoxPeer,
    testing::Values(Variant{"u8_mono_8000", 8000, 8, 1, "unsigned-integer", false},
                    Variant{"u8_stereo_11025", 11025, 8, 2, "unsigned-integer", false},
                    Variant{"s16_mono_16000", 16000, 16, 1, "signed-integer", false},
                    Variant{"s16_stereo_22050", 22050, 16, 2, "signed-integer", false},
                    Variant{"s16_stereo_44100", 44100, 16, 2, "signed-integer", false},
                    Variant{"s16_stereo_44100_7s", 44100, 16, 2, "signed-integer", false, 7.0},
                    Variant{"s16_mono_48000", 48000, 16, 1, "signed-integer", false},
                    Variant{"s16_mono_8012_not_resampled", 8012, 16, 1, "signed-integer", false},
                    Variant{"s16_stereo_list_chunk", 32000, 16, 2, "signed-integer", true},
                    Variant{"s24_stereo_extensible_fmt", 24000, 24, 2, "signed-integer", false},
                    Variant{"u8_mono_list_chunk", 12000, 8, 1, "unsigned-integer", true}),
    [](const testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

// sox writes an 18-byte "fmt " chunk and a "fact" chunk before "data" for µ-law WAV files; the
// reader keeps the whole record and finds the data after the fact chunk.
TEST(SoxPeerFormats, EighteenByteFmtAndFactChunk) {
  TempFolder folder;
  const std::string wav = folder.file("ulaw.wav");
  run({"sox", "-n", "-r", "8000", "-c", "1", "-e", "u-law", wav, "synth", "0.1", "sine", "440"});
  const Bytes file = readBytes(folder, "ulaw.wav");
  ASSERT_EQ(file[16], 18);
  run({"sox", wav, "-t", "raw", folder.file("ulaw.raw")});
  Sound sound;
  ASSERT_EQ(sound.loadWav(wav.c_str()), 1);
  EXPECT_EQ(sound.format->formatTag, 7);
  EXPECT_EQ(Bytes(sound.samples, sound.samples + sound.dataLength), readBytes(folder, "ulaw.raw"));
}

}  // namespace

namespace {

// Every kind of WAV file sox writes: the ones the chain can carry come out as sox's own
// conversion of the left channel to an 8012 Hz µ-law AU file does (correlation of at least 0.99);
// the others are refused with result 0, nothing written and "Bad format: " traced.
struct Kind {
  const char* name;
  std::vector<std::string> encoding;  // sox's options for the file
  bool converted;
};

TEST(SoxPeerKinds, ConvertedLikeSoxOrRefused) {
  if (platform::posix::findOnPath("sox").empty()) FAIL() << "sox is not installed";
  const Kind kinds[] = {
      {"u8", {"-e", "unsigned-integer", "-b", "8"}, true},
      {"s16", {"-e", "signed-integer", "-b", "16"}, true},
      {"s24 (extensible)", {"-e", "signed-integer", "-b", "24"}, true},
      {"s32 (extensible)", {"-e", "signed-integer", "-b", "32"}, true},
      {"float32", {"-e", "floating-point", "-b", "32"}, true},
      {"float64", {"-e", "floating-point", "-b", "64"}, true},
      {"A-law", {"-e", "a-law"}, true},
      {"u-law", {"-e", "u-law"}, true},
      {"IMA ADPCM", {"-e", "ima-adpcm"}, false},
      {"MS ADPCM", {"-e", "ms-adpcm"}, false},
      {"GSM 6.10", {"-e", "gsm-full-rate"}, false},
  };
  for (const Kind& kind : kinds) {
    for (const char* rate : {"8012", "16000"}) {
      for (const char* channels : {"1", "2"}) {
        if (std::string(kind.name) == "GSM 6.10" && std::string(channels) == "2") continue;
        SCOPED_TRACE(std::string(kind.name) + " " + rate + " Hz, " + channels + " channels");
        TempFolder folder;
        const std::string wav = folder.file("in.wav");
        std::vector<std::string> make{"sox", "-n", "-r", rate, "-c", channels};
        make.insert(make.end(), kind.encoding.begin(), kind.encoding.end());
        // Left and right differ, so that a mixed or swapped channel shows. The left tone is low:
        // the chain resamples by holding each frame, which sox's filter does not, and that
        // alone costs a 1234 Hz tone a few per cent of correlation at 16000 Hz.
        std::vector<std::string> tones{wav, "synth", "0.5", "sine", "220"};
        if (std::string(channels) == "2") tones.insert(tones.end(), {"sine", "1234"});
        tones.insert(tones.end(), {"gain", "-2"});
        make.insert(make.end(), tones.begin(), tones.end());
        run(make);
        const std::string au = folder.file("out.au");
        TestString wavName = TestString::latin1(wav);
        TestString auName = TestString::latin1(au);
        RecordingMessages messages;
        const int result = Kestrilo_wav2au(nullptr, wavName.handle(), auName.handle());
        EXPECT_TRUE(messages.shown.empty());
        if (!kind.converted) {
          EXPECT_EQ(result, 0);
          EXPECT_FALSE(std::filesystem::exists(au));
          EXPECT_EQ(messages.traced, std::vector<std::string>{"Bad format: " + wav});
          continue;
        }
        ASSERT_EQ(result, 1);
        run({"sox", wav, "-r", "8012", "-e", "u-law", folder.file("sox.au"), "remix", "1"});
        const std::vector<double> ours = auSamples(folder, "out.au");
        const std::vector<double> theirs = auSamples(folder, "sox.au");
        EXPECT_NEAR(static_cast<double>(ours.size()), static_cast<double>(theirs.size()), 8.0);
        EXPECT_GE(correlation(ours, theirs), 0.99);
      }
    }
  }
}

}  // namespace
