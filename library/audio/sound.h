// Sound: one sound in memory, read from a WAV file and written as an AU file.
//
// Reading (wav_reader.cpp) finds the tags "WAVE", "fmt " and "data" by sliding a four-byte window
// over the file, keeps the body of the "fmt " chunk as the WaveFormat record and the body of the
// "data" chunk as the samples. Chunk lengths other than those two are never read, and the format
// code is not checked: whatever the data chunk holds is taken as linear PCM, 8-bit unsigned or
// 16-bit signed little-endian.
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
  std::uint16_t formatTag;      // read, never checked
  std::uint16_t channels;       // channels per frame
  std::uint32_t sampleRate;     // frames per second
  std::uint32_t byteRate;       // sampleRate × blockAlign after a conversion
  std::uint16_t blockAlign;     // bytes per frame, all channels together
  std::uint16_t bitsPerSample;  // bits of one channel's sample; 8 means unsigned bytes
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
  // read; 0 when the file cannot be opened or is not an ordinary file, ends before "WAVE",
  // "fmt ", "data" or one of the two lengths after them, has a "fmt " chunk that does not describe
  // whole frames (shorter than 16 bytes, no channels, a frame smaller than one byte per channel or
  // than the 16-bit sample the writer reads, a rate of 0), has a data length that cannot be held
  // ("Sorry, not enough memory" shown), or a read fails ("Cannot read file" shown). Only those two
  // messages are ever shown. A data chunk that declares more bytes than the file holds keeps the
  // bytes present and zeros after them. A data chunk of a megabyte or more is left in the file,
  // which stays open, and read by the conversion or the writer that needs it (see above). The
  // file is otherwise closed; after a failure the Sound holds no samples and is only fit to be
  // destroyed or loaded again.
  int loadWav(const char* path);

  // As loadWav, over `size` bytes in memory (for tests and the fuzz target).
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
  // record, one byte per frame from each frame's first sample) through a ReplacementFile, in
  // place of any file of that name. 1 when the file was written whole and put in place; 0 when it
  // could not be created or put in place (traced only), when a write failed ("Cannot write file"
  // shown once, the writing then ends), or when samples still in the WAV file could not be read
  // first ("Sorry, not enough memory" or "Cannot read file" shown). In every case that gives 0,
  // the named file is as it was and no other file is left.
  int saveAu(const char* path);

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

 private:
  template <typename Source>
  int load(Source& source);
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
