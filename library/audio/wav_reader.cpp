// Reading a WAV file into a Sound.
//
// The reader does not walk the RIFF chunks. It slides a four-byte window over the file one byte
// at a time until the window holds "WAVE", then "fmt ", then "data" (the window carries over from
// one search to the next), and trusts only the two lengths that follow "fmt " and "data". So a
// pad byte or any chunk between "fmt " and "data" is passed over, and the four bytes "data"
// inside such a chunk are taken as the data tag.
//
// What the file declares is checked before it is relied on: the "fmt " body must lie within the
// file and describe whole frames (the conversions divide by channels and blockAlign, and the
// writer reads a 16-bit sample from each frame of a sound that is not 8-bit), and the data
// length must fit the 32-bit lengths of a Sound. A data chunk that declares more than the file
// holds is read as far as it goes and padded with silence (zero bytes), never with stale memory.
//
// A large data chunk is not read here at all: the file stays open and the conversion reads it a
// chunk at a time (see sound.h), which spares copying it into fresh memory that would be read
// only once.
#include <cstring>
#include <limits>

#include "library/audio/sound.h"
#include "library/support/file_helpers.h"
#include "library/support/memory_helpers.h"
#include "library/support/reporting.h"

namespace {

constexpr std::uint32_t tagValue(const char (&tag)[5]) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(tag[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(tag[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(tag[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(tag[3]));
}

// An open file read through a small buffer, so that the byte-by-byte search costs one system
// call per 4 KB rather than one per byte. Failed reads have shown "Cannot read file".
class FileSource {
 public:
  explicit FileSource(FileHandle file) : file_(file), size_(platform::fileSize(file)) {}

  // The next byte, or -1 at the end of the file or after a failed read.
  int nextByte() {
    if (next_ == end_) {
      std::int32_t got = readBytes(file_, buffer_, sizeof buffer_);
      if (got <= 0) return -1;
      next_ = 0;
      end_ = got;
    }
    ++delivered_;
    return buffer_[next_++];
  }

  // Up to `count` bytes: the number delivered, fewer only at the end of the file; -1 after a
  // failed read.
  std::int64_t read(std::uint8_t* destination, std::uint64_t count) {
    std::uint64_t done = 0;
    std::int32_t buffered = end_ - next_;
    if (buffered > 0) {
      std::uint64_t take = count < static_cast<std::uint64_t>(buffered) ? count : buffered;
      std::memcpy(destination, buffer_ + next_, take);
      next_ += static_cast<std::int32_t>(take);
      done = take;
    }
    // The rest straight into the destination, as few requests as the platform allows.
    while (done < count) {
      std::uint64_t want = count - done;
      if (want > kLargestRequest) want = kLargestRequest;
      std::int32_t got = readBytes(file_, destination + done, static_cast<std::int32_t>(want));
      if (got < 0) return -1;
      if (got == 0) break;
      done += static_cast<std::uint64_t>(got);
    }
    delivered_ += done;
    return static_cast<std::int64_t>(done);
  }

  // The file and where its next byte lies, for samples left in it; the file is then the
  // caller's to close.
  bool leaveInFile(platform::FileHandle& file, std::uint64_t& offset) {
    file = file_;
    offset = delivered_;
    return true;
  }

  // Bytes of the file not yet delivered; the most there can be when its size is unknown.
  std::uint64_t remaining() const {
    if (size_ < 0) return std::numeric_limits<std::uint64_t>::max();
    return delivered_ < static_cast<std::uint64_t>(size_) ? size_ - delivered_ : 0;
  }

 private:
  static constexpr std::uint64_t kLargestRequest = 1u << 30;
  FileHandle file_;
  std::int64_t size_;
  std::uint64_t delivered_ = 0;
  std::uint8_t buffer_[4096];
  std::int32_t next_ = 0;
  std::int32_t end_ = 0;
};

// The same over a block in memory.
class MemorySource {
 public:
  MemorySource(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

  int nextByte() { return position_ < size_ ? data_[position_++] : -1; }

  std::int64_t read(std::uint8_t* destination, std::uint64_t count) {
    std::uint64_t take = count < remaining() ? count : remaining();
    if (take) std::memcpy(destination, data_ + position_, take);
    position_ += take;
    return static_cast<std::int64_t>(take);
  }

  std::uint64_t remaining() const { return size_ - position_; }

  // Memory that the caller owns is always copied.
  bool leaveInFile(platform::FileHandle&, std::uint64_t&) { return false; }

 private:
  const std::uint8_t* data_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
};

// Slides the window on until it holds `tag`; false when the bytes run out first.
template <typename Source>
bool scanFor(Source& source, std::uint32_t& window, std::uint32_t tag) {
  while (window != tag) {
    int byte = source.nextByte();
    if (byte < 0) return false;
    window = window << 8 | static_cast<std::uint32_t>(byte);
  }
  return true;
}

// A little-endian 32-bit length; false when the file ends inside it.
template <typename Source>
bool readLength(Source& source, std::uint32_t& length) {
  std::uint8_t bytes[4];
  if (source.read(bytes, 4) != 4) return false;
  length = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return true;
}

// Sample data of at least this many bytes is left in its file for the conversion to read: below
// it, reading it whole costs next to nothing.
constexpr std::uint32_t kSmallestLeftInFile = 1u << 20;

// Whether the format describes frames that every later step can work on without dividing by
// zero or reading past a frame.
bool describesWholeFrames(const WaveFormat& format) {
  if (format.channels == 0 || format.sampleRate == 0) return false;
  const std::uint32_t sampleBytes = format.bitsPerSample == 8 ? 1 : 2;
  return format.blockAlign / format.channels >= sampleBytes;
}

}  // namespace

int Sound::loadWav(const char* path) {
  FileHandle file = openForReading(path);
  if (file == kInvalidHandle) return 0;
  FileSource source(file);
  int result = load(source);
  if (pending_.file != file) closeFile(file);
  return result;
}

int Sound::loadWavFromMemory(const void* data, std::size_t size) {
  MemorySource source(data, size);
  return load(source);
}

template <typename Source>
int Sound::load(Source& source) {
  releaseSamples();
  dataLength = 0;
  frameCount = 0;
  frameStride = 0;

  std::uint32_t window = 0;
  if (!scanFor(source, window, tagValue("WAVE"))) return 0;
  if (!scanFor(source, window, tagValue("fmt "))) return 0;

  std::uint32_t formatLength = 0;
  if (!readLength(source, formatLength)) return 0;
  // A body longer than the rest of the file means the file ends before "data".
  if (formatLength < sizeof(WaveFormat) || formatLength > source.remaining()) return 0;
  auto* resized = static_cast<WaveFormat*>(reallocBlock(format, formatLength));
  if (!resized) return 0;
  format = resized;
  if (source.read(reinterpret_cast<std::uint8_t*>(format), formatLength) !=
      static_cast<std::int64_t>(formatLength)) {
    return 0;
  }
  if (!describesWholeFrames(*format)) return 0;

  if (!scanFor(source, window, tagValue("data"))) return 0;
  std::uint32_t declared = 0;
  if (!readLength(source, declared)) return 0;
  // The samples and the zero byte after them must be addressable with a 32-bit length.
  if (declared >= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    showError("Sorry, not enough memory");
    return 0;
  }
  if (!(declared >= kSmallestLeftInFile && source.leaveInFile(pending_.file, pending_.offset))) {
    auto* block = static_cast<std::uint8_t*>(allocGlobalBlock(declared + 1u, kGlobalMovable));
    if (!block) return 0;
    std::int64_t got = source.read(block, declared);
    if (got < 0) {
      freeGlobalBlock(block);
      return 0;
    }
    std::memset(block + got, 0, declared - static_cast<std::uint64_t>(got) + 1);
    block_ = block;
    samples = block;
  }
  dataLength = static_cast<std::int32_t>(declared);
  frameStride = format->blockAlign;
  frameCount = dataLength / format->blockAlign;
  return 1;
}
