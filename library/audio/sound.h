// Sound: one sound in memory, read from a WAV file and written as an AU file.
//
// Reading (wav_reader.cpp) walks the RIFF chunks of the file by their lengths, keeps the body of
// the "fmt " chunk as the WaveFormat record and the body of the "data" chunk as the samples, as
// they are stored: 8-bit unsigned, 16-, 24- or 32-bit signed linear PCM, 32- or 64-bit float,
// A-law or µ-law (`encoding` says which). Other formats are refused.
//
// The conversions (sound_conversion.cpp) reduce the channels by keeping the first ones, and
// resample by zero-order hold (each output frame a copy of the source frame at or before its
// time, without filtering). The AU writer (au_writer.cpp) writes the first sample of every frame
// as one 8-bit µ-law byte behind a 24-byte big-endian header.
//
// A Sound lives for one export call on one thread. Its fields always agree with one another: the
// sound is dataLength bytes long and its first frameCount frames are in `samples`, each
// blockAlign bytes, frameStride bytes apart; the frames after them, up to dataLength, are silence
// (zero bytes).
//
// Frames are not always packed: dropping channels keeps only the first blockAlign bytes of each
// frame where they lie. And a large WAV file's samples are not read by the load at all: they stay
// in the file (`samples` is null, hasSamples() true) until a conversion needs them, and the
// resampling then reads them a chunk at a time into one reused buffer, keeping only the frames it
// selects. The export's chain thus reads a long sound once, with ordinary reads, and fills fresh
// memory only with the frames it keeps. The file is never mapped: another program that shortens
// it meanwhile only makes the missing frames silence.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// The body of the "fmt " chunk as the file holds it (little-endian). The record is as long as the
// chunk; bytes after the first 16 (an extension size, ...) are kept and never used.
struct WaveFormat {
  std::uint16_t formatTag;      // 1 PCM, 3 float, 6 A-law, 7 µ-law, 0xFFFE extensible
  std::uint16_t channels;       // channels per frame
  std::uint32_t sampleRate;     // frames per second
  std::uint32_t byteRate;       // sampleRate × blockAlign after a conversion
  std::uint16_t blockAlign;     // bytes per frame, all channels together
  std::uint16_t bitsPerSample;  // bits of one channel's sample (of its container, extensible)
};

// How one channel's sample is stored in a frame, all little-endian. Linear PCM of 8 bits or
// fewer is unsigned with 128 as silence; wider PCM is signed, its value in the high bits when
// the file's bitsPerSample is not a whole number of bytes.
enum class SampleEncoding : std::uint8_t {
  kUnsigned8,
  kSigned16,
  kSigned24,
  kSigned32,
  kFloat32,  // IEEE 754, full scale at ±1.0
  kFloat64,
  kALaw,  // G.711, one byte
  kMuLaw,
};
static_assert(sizeof(WaveFormat) == 16, "WaveFormat is the 16 bytes of the file");

// The frame rate of every AU file the export writes.
constexpr std::uint32_t kAuSampleRate = 8012;

class Sound {
 public:
  // An empty sound: a zeroed 16-byte format record, no samples.
  Sound();
  virtual ~Sound();
  Sound(const Sound&) = delete;
  Sound& operator=(const Sound&) = delete;

  // Reads the named WAV file (at most 255 characters). 1 when the format and the samples were
  // read. 0, with "Bad format: " and the path traced and no message shown, when the file is no
  // RIFF (or RF64) file of form "WAVE", when its chunks end before a "fmt " chunk and then a
  // "data" chunk are found, when the format is not one of those above (ADPCM, GSM, MPEG, ...), or
  // when it does not describe whole frames (a "fmt " body shorter than 16 bytes, no channels, a
  // rate of 0, a frame size other than channels × bytes per sample). 0 also when the file cannot
  // be opened or is not an ordinary file (traced only), when the data cannot be held ("Sorry, not
  // enough memory" shown: 2 GB or more), or when a read fails ("Cannot read file" shown). A data
  // chunk that declares more bytes than the file holds runs to the end of the file. A data chunk
  // of a megabyte or more is left in the file, which stays open, and read by the conversion or
  // the writer that needs it (see above). The file is otherwise closed; after a failure the Sound
  // holds no samples and is only fit to be destroyed or loaded again.
  int loadWav(const char* path);

  // As loadWav, over `size` bytes in memory (for tests and the fuzz target); the name traced is
  // "(memory)".
  int loadWavFromMemory(const void* data, std::size_t size);

  // Keeps the first n channels of every frame (n = 1 keeps the left channel of a stereo sound;
  // nothing is mixed); the kept bytes stay where they are. Raising the count repeats the last
  // channel into the new ones, in a new buffer. Nothing changes when n equals the current count or
  // lies outside 1 to 2. False only when the new buffer could not be allocated ("Sorry, not
  // enough memory" shown; the sound is then as it was) or samples still in the file could not be
  // read ("Cannot read file" shown; the sound then holds none).
  bool setChannels(std::int32_t n);

  // Resamples to `rate` frames per second by zero-order hold. The new length is
  // dataLength × rate / sampleRate rounded down to a multiple of 4; output frame i copies source
  // frame i × (sampleRate / rate as a 32-bit float), or is silence past the end. Nothing changes
  // when the rate equals the current one or lies outside 1000 to 100000. False only when the new
  // buffer could not be allocated or its length is beyond what a Sound holds ("Sorry, not enough
  // memory" shown; the sound is then as it was), or when samples still in the file could not be
  // read ("Cannot read file" shown; the sound then holds none). Samples still in the file are
  // read a chunk at a time; frames past the file's end, as it is when they are read, are silence.
  bool setSampleRate(std::int32_t rate);

  // Writes the sound as an AU file (µ-law, the header's rate and channels from the format
  // record, one byte per frame from each frame's first sample, taken as a 16-bit linear sample
  // from whatever `encoding` it has) through a ReplacementFile, in
  // place of any file of that name. 1 when the file was written whole and put in place; 0 when it
  // could not be created or put in place (traced only), when a write failed ("Cannot write file"
  // shown once, the writing then ends), or when samples still in the WAV file could not be read
  // first ("Sorry, not enough memory" or "Cannot read file" shown). In every case that gives 0,
  // the named file is as it was and no other file is left.
  int saveAu(const char* path);

  // The µ-law codes that saveAu writes for frames `first` to first + count - 1 (below
  // frameCount, samples in memory), into `codes`.
  void encodeMuLaw(std::int32_t first, std::int32_t count, std::uint8_t* codes) const;

  // Reads samples still in the WAV file into a block of their own (frames at frameStride bytes,
  // one zero byte after them) and closes the file; true when the samples are in memory afterwards
  // (at once when they already were), false when the block cannot be had or a read fails ("Sorry,
  // not enough memory" or "Cannot read file" shown; the sound then holds no samples).
  bool holdSamplesInMemory();

  // Whether the sound has samples, in memory or still in its file.
  bool hasSamples() const { return samples != nullptr || pending_.file != platform::kInvalidFile; }

  // The first byte of frame i (below frameCount), for samples in memory.
  const std::uint8_t* frame(std::int32_t i) const {
    return samples + static_cast<std::int64_t>(i) * frameStride;
  }

  WaveFormat* format = nullptr;           // the "fmt " body; 16 bytes or the chunk's length
  const std::uint8_t* samples = nullptr;  // the frames (+1 zero byte after a load into memory)
  std::int32_t dataLength = 0;            // bytes of sound, whole frames and silence after them
  std::int32_t frameCount = 0;            // frames held in `samples`
  std::int32_t frameStride = 0;           // bytes from one frame to the next in `samples`
  SampleEncoding encoding = SampleEncoding::kSigned16;  // how the samples are stored

 private:
  template <typename Source>
  int load(Source& source, const char* name);
  // Resamples frames still in the file straight into `target` (`outputFrames` frames of
  // blockAlign bytes), reading the file a chunk at a time; false when a read or the chunk
  // buffer failed (the message shown).
  bool resampleFromFile(std::uint8_t* target, std::int32_t outputFrames, float step);
  // Reads `count` frames from frame `first` on out of the file into `destination`, packed at
  // frameStride bytes; bytes the file no longer holds are zero. False after a failed read.
  bool readPendingFrames(std::uint8_t* destination, std::int64_t first, std::int64_t count);
  // Takes a block from the allocator as the samples: `length` bytes of frames of `frameBytes`
  // bytes, packed.
  void adoptBlock(std::uint8_t* block, std::int32_t length, std::int32_t frameBytes);
  void releaseSamples();

  // The samples of a large WAV file that are still in it: the open file and where frame 0 is.
  struct PendingSamples {
    platform::FileHandle file = platform::kInvalidFile;
    std::uint64_t offset = 0;
  };

  std::uint8_t* block_ = nullptr;  // the samples when they were allocated
  PendingSamples pending_;
};

// The G.711 µ-law code of a signed 16-bit sample (bias 132, clip level 32635).
std::uint8_t linearToMuLaw(std::int16_t sample);
