// Reading a WAV file into a Sound.
//
// A WAV file is a RIFF file of form "WAVE": a 12-byte header ("RIFF", a length, "WAVE") and then
// chunks, each a four-byte tag, a 32-bit little-endian length and that many bytes, with one pad
// byte after a body of odd length. The reader walks the chunks by their lengths from the header
// on: the body of "fmt " becomes the WaveFormat record, the body of "data" the samples, and every
// other chunk (LIST, fact, JUNK, ...) is passed over whole, so that the bytes "data" or "fmt "
// inside a comment are never mistaken for a chunk. The length in the RIFF header is not used:
// writers that cannot seek back (a WAV written to a pipe) leave a placeholder there.
//
// RF64 (and its twin BW64) is the same layout with 64-bit lengths: its first chunk, "ds64",
// holds the length of the data, and the data chunk's own length is then 0xFFFFFFFF.
//
// The length of the data chunk is trusted only as far as the file goes: a length beyond the end
// of the file (0xFFFFFFFF or 0x7FFFF000 from a writer that streamed the file, or a file cut
// short) means "to the end of the file", never padding with silence.
//
// The format is honoured: linear PCM of 1 to 32 bits (8-bit unsigned, wider signed), IEEE float
// of 32 or 64 bits, A-law and µ-law, also when a WAVE_FORMAT_EXTENSIBLE record names them through
// its sub-format. Every other format (ADPCM of any kind, GSM, MPEG, ...) is refused, as is a
// frame size that does not match channels × bytes per sample: such a file would otherwise come
// out as noise or at the wrong speed. A refused file gives 0 with "Bad format: " and the name
// traced, and no message shown.
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

// A four-byte tag as stored, first character highest.
std::uint32_t tagAt(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
}

std::uint32_t readUint32(const std::uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint64_t readUint64(const std::uint8_t* bytes) {
  return readUint32(bytes) | static_cast<std::uint64_t>(readUint32(bytes + 4)) << 32;
}

// An open file read through a small buffer, so that a file of many small chunks costs one
// system call per 4 KB rather than two per chunk; large pieces (the samples) go straight to
// their destination, and chunks beyond the buffer are passed over with a seek. Failed reads
// have shown "Cannot read file".
class FileSource {
 public:
  explicit FileSource(FileHandle file) : file_(file), size_(platform::fileSize(file)) {}

  // Up to `count` bytes: the number delivered, fewer only at the end of the file; -1 after a
  // failed read.
  std::int64_t read(std::uint8_t* destination, std::uint64_t count) {
    std::uint64_t done = take(destination, count);
    if (done < count && count - done < sizeof buffer_) {
      std::int32_t got = readBytes(file_, buffer_, sizeof buffer_);
      if (got < 0) return -1;
      next_ = 0;
      end_ = got;
      done += take(destination + done, count - done);
    }
    while (done < count) {
      std::uint64_t want = count - done;
      if (want > kLargestRequest) want = kLargestRequest;
      std::int32_t got = readBytes(file_, destination + done, static_cast<std::int32_t>(want));
      if (got < 0) return -1;
      if (got == 0) break;
      done += static_cast<std::uint64_t>(got);
      delivered_ += static_cast<std::uint64_t>(got);
    }
    return static_cast<std::int64_t>(done);
  }

  // Passes over `count` bytes that lie in the file (see remaining()); false after a failed seek.
  bool skip(std::uint64_t count) {
    const auto buffered = static_cast<std::uint64_t>(end_ - next_);
    if (count <= buffered) {
      next_ += static_cast<std::int32_t>(count);
      delivered_ += count;
      return true;
    }
    next_ = end_ = 0;
    delivered_ += count;
    return platform::seekFile(file_, static_cast<std::int64_t>(delivered_), 0) >= 0;
  }

  // The file and where its next byte lies, for samples left in it; the file is then the
  // caller's to close (it is read at offsets from then on).
  bool leaveInFile(platform::FileHandle& file, std::uint64_t& offset) {
    file = file_;
    offset = delivered_;
    return true;
  }

  // Bytes of the file not yet delivered or passed over.
  std::uint64_t remaining() const {
    if (size_ < 0) return 0;
    return delivered_ < static_cast<std::uint64_t>(size_) ? size_ - delivered_ : 0;
  }

 private:
  // Up to `count` bytes from the buffer.
  std::uint64_t take(std::uint8_t* destination, std::uint64_t count) {
    const auto buffered = static_cast<std::uint64_t>(end_ - next_);
    const std::uint64_t n = count < buffered ? count : buffered;
    if (n) std::memcpy(destination, buffer_ + next_, n);
    next_ += static_cast<std::int32_t>(n);
    delivered_ += n;
    return n;
  }

  static constexpr std::uint64_t kLargestRequest = 1u << 30;
  FileHandle file_;
  std::int64_t size_;
  std::uint64_t delivered_ = 0;  // bytes delivered or passed over
  std::uint8_t buffer_[4096];
  std::int32_t next_ = 0;
  std::int32_t end_ = 0;
};

// The same over a block in memory.
class MemorySource {
 public:
  MemorySource(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

  std::int64_t read(std::uint8_t* destination, std::uint64_t count) {
    std::uint64_t take = count < remaining() ? count : remaining();
    if (take) std::memcpy(destination, data_ + position_, take);
    position_ += take;
    return static_cast<std::int64_t>(take);
  }

  bool skip(std::uint64_t count) {
    position_ += count < remaining() ? count : remaining();
    return true;
  }

  std::uint64_t remaining() const { return size_ - position_; }

  // Memory that the caller owns is always copied.
  bool leaveInFile(platform::FileHandle&, std::uint64_t&) { return false; }

 private:
  const std::uint8_t* data_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
};

// Sample data of at least this many bytes is left in its file for the conversion to read: below
// it, reading it whole costs next to nothing.
constexpr std::uint32_t kSmallestLeftInFile = 1u << 20;

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatALaw = 6;
constexpr std::uint16_t kFormatMuLaw = 7;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

// The sub-format of a WAVE_FORMAT_EXTENSIBLE record is a GUID whose first two bytes are one of
// the ordinary format codes and whose other fourteen are these.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// Where the extensible record's sub-format lies, and the record's least length.
constexpr std::uint32_t kSubFormatOffset = 24;
constexpr std::uint32_t kExtensibleLength = 40;

// How the samples of the format record of `length` bytes are stored; false for a format the
// writer cannot turn into linear samples honestly, or for frames that are not channels whole
// samples.
bool encodingOf(const WaveFormat& format, std::uint32_t length, SampleEncoding& encoding) {
  if (format.channels == 0 || format.sampleRate == 0) return false;
  std::uint16_t tag = format.formatTag;
  if (tag == kFormatExtensible) {
    const auto* record = reinterpret_cast<const std::uint8_t*>(&format);
    if (length < kExtensibleLength) return false;
    if (std::memcmp(record + kSubFormatOffset + 2, kSubFormatTail, sizeof kSubFormatTail) != 0) {
      return false;
    }
    tag = static_cast<std::uint16_t>(record[kSubFormatOffset] | record[kSubFormatOffset + 1] << 8);
  }
  const std::uint32_t bits = format.bitsPerSample;
  const std::uint32_t sampleBytes = (bits + 7) / 8;
  switch (tag) {
    case kFormatPcm: {
      // Samples narrower than their bytes lie in the high bits: the container decides.
      static constexpr SampleEncoding kByWidth[4] = {
          SampleEncoding::kUnsigned8, SampleEncoding::kSigned16, SampleEncoding::kSigned24,
          SampleEncoding::kSigned32};
      if (bits < 1 || bits > 32) return false;
      encoding = kByWidth[sampleBytes - 1];
      break;
    }
    case kFormatFloat:
      if (bits != 32 && bits != 64) return false;
      encoding = bits == 32 ? SampleEncoding::kFloat32 : SampleEncoding::kFloat64;
      break;
    case kFormatALaw:
    case kFormatMuLaw:
      if (bits != 8) return false;
      encoding = tag == kFormatALaw ? SampleEncoding::kALaw : SampleEncoding::kMuLaw;
      break;
    default:
      return false;
  }
  return format.blockAlign == format.channels * sampleBytes;
}

// The header of one chunk; false when the file ends inside it.
struct ChunkHeader {
  std::uint32_t tag;
  std::uint32_t length;
};

template <typename Source>
bool readChunkHeader(Source& source, ChunkHeader& header) {
  std::uint8_t bytes[8];
  if (source.read(bytes, 8) != 8) return false;
  header.tag = tagAt(bytes);
  header.length = readUint32(bytes + 4);
  return true;
}

// The 32-bit length that stands for "see the ds64 chunk" in an RF64 file.
constexpr std::uint32_t kLengthInDs64 = 0xFFFFFFFFu;

}  // namespace

int Sound::loadWav(const char* path) {
  FileHandle file = openForReading(path);
  if (file == kInvalidHandle) return 0;
  FileSource source(file);
  int result = load(source, path);
  if (pending_.file != file) closeFile(file);
  return result;
}

int Sound::loadWavFromMemory(const void* data, std::size_t size) {
  MemorySource source(data, size);
  return load(source, "(memory)");
}

template <typename Source>
int Sound::load(Source& source, const char* name) {
  releaseSamples();
  dataLength = 0;
  frameCount = 0;
  frameStride = 0;
  const auto refuse = [name] {
    traceMessage("Bad format: ", name);
    return 0;
  };

  std::uint8_t riff[12];
  if (source.read(riff, sizeof riff) != static_cast<std::int64_t>(sizeof riff)) return refuse();
  const std::uint32_t kind = tagAt(riff);
  const bool rf64 = kind == tagValue("RF64") || kind == tagValue("BW64");
  if ((kind != tagValue("RIFF") && !rf64) || tagAt(riff + 8) != tagValue("WAVE")) return refuse();

  bool formatRead = false;
  std::uint64_t ds64DataLength = 0;
  bool ds64Read = false;
  ChunkHeader chunk{};
  for (;;) {
    if (!readChunkHeader(source, chunk)) return refuse();
    if (chunk.tag == tagValue("data")) break;
    // Every other chunk ends at its length and its pad byte; one that claims more than the file
    // holds leaves no room for the data chunk.
    const std::uint64_t body = chunk.length;
    const std::uint64_t padded = body + (body & 1);
    if (chunk.tag == tagValue("fmt ")) {
      if (body < sizeof(WaveFormat) || body > source.remaining()) return refuse();
      auto* resized = static_cast<WaveFormat*>(reallocBlock(format, body));
      if (!resized) return 0;
      format = resized;
      if (source.read(reinterpret_cast<std::uint8_t*>(format), body) !=
          static_cast<std::int64_t>(body)) {
        return 0;
      }
      if (!encodingOf(*format, chunk.length, encoding)) return refuse();
      formatRead = true;
      if (!source.skip(padded - body)) return 0;
    } else if (chunk.tag == tagValue("ds64") && rf64 && !ds64Read) {
      // RIFF length, data length and sample count, 64 bits each, then a table of other lengths.
      std::uint8_t ds64[24];
      if (body < sizeof ds64 || padded > source.remaining() ||
          source.read(ds64, sizeof ds64) != static_cast<std::int64_t>(sizeof ds64)) {
        return refuse();
      }
      ds64DataLength = readUint64(ds64 + 8);
      ds64Read = true;
      if (!source.skip(padded - sizeof ds64)) return 0;
    } else {
      if (padded > source.remaining()) return refuse();
      if (!source.skip(padded)) return 0;
    }
  }
  // The format must come before the samples it describes.
  if (!formatRead) return refuse();

  // The data runs for its declared length, or to the end of the file when that comes first.
  std::uint64_t declared = chunk.length;
  if (rf64 && chunk.length == kLengthInDs64) {
    if (!ds64Read) return refuse();
    declared = ds64DataLength;
  }
  const std::uint64_t present = declared < source.remaining() ? declared : source.remaining();
  // The samples and the zero byte after them must be addressable with a 32-bit length.
  if (present >= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    showError("Sorry, not enough memory");
    return 0;
  }
  const auto length = static_cast<std::uint32_t>(present);
  if (!(length >= kSmallestLeftInFile && source.leaveInFile(pending_.file, pending_.offset))) {
    auto* block = static_cast<std::uint8_t*>(allocGlobalBlock(length + 1u, kGlobalMovable));
    if (!block) return 0;
    std::int64_t got = source.read(block, length);
    if (got < 0) {
      freeGlobalBlock(block);
      return 0;
    }
    // Only a file shortened while it is read delivers less than it held a moment ago.
    std::memset(block + got, 0, length - static_cast<std::uint64_t>(got) + 1);
    block_ = block;
    samples = block;
  }
  dataLength = static_cast<std::int32_t>(length);
  frameStride = format->blockAlign;
  frameCount = dataLength / format->blockAlign;
  return 1;
}
