// Hand-assembled GIF files for the reader's and writer's tests: a byte builder, an LZW code
// packer that follows the decoder's width rules, and a code reader for written streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

using Bytes = std::vector<std::uint8_t>;

// The code width as the decoder follows it: minimum size + 1 after a clear, one more bit once the
// next free code reaches the limit, never more than 12.
struct CodeWidth {
  explicit CodeWidth(int minimumSize)
      : minimumSize(minimumSize), clear(1 << minimumSize), width(minimumSize + 1),
        nextCode(clear + 2) {}
  // The width for the code after `code`.
  void after(int code) {
    if (code == clear) {
      width = minimumSize + 1;
      nextCode = clear + 2;
      previous = false;
      return;
    }
    if (previous && nextCode < 4096) {
      ++nextCode;
      if (nextCode >= (1 << width) && width < 12) ++width;
    }
    previous = true;
  }
  int minimumSize;
  int clear;
  int width;
  int nextCode;
  bool previous = false;
};

// Codes packed least significant bit first at the decoder's widths.
inline Bytes packCodes(int minimumSize, const std::vector<int>& codes) {
  CodeWidth tracker(minimumSize);
  Bytes out;
  std::uint32_t bits = 0;
  int held = 0;
  for (int code : codes) {
    bits |= static_cast<std::uint32_t>(code) << held;
    held += tracker.width;
    while (held >= 8) {
      out.push_back(static_cast<std::uint8_t>(bits));
      bits >>= 8;
      held -= 8;
    }
    tracker.after(code);
  }
  if (held > 0) out.push_back(static_cast<std::uint8_t>(bits));
  return out;
}

// Data cut into sub-blocks of at most `blockSize` bytes, without the closing zero-length block.
inline Bytes subBlocks(const Bytes& data, std::size_t blockSize = 255) {
  Bytes out;
  for (std::size_t at = 0; at < data.size(); at += blockSize) {
    std::size_t n = std::min(blockSize, data.size() - at);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
               data.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  return out;
}

// The codes of a stream of pixels sent as literals (a clear first, the end code last).
inline std::vector<int> literalCodes(int minimumSize, const Bytes& pixels, bool withEnd = true) {
  std::vector<int> codes{1 << minimumSize};
  codes.insert(codes.end(), pixels.begin(), pixels.end());
  if (withEnd) codes.push_back((1 << minimumSize) + 1);
  return codes;
}

class GifBuilder {
 public:
  GifBuilder& header(int width, int height, int tableCode = -1, const char* version = "GIF89a") {
    append(version, 6);
    u16(width);
    u16(height);
    bytes.push_back(static_cast<std::uint8_t>(tableCode >= 0 ? 0x80 | tableCode : 0));
    bytes.push_back(0);
    bytes.push_back(0);
    if (tableCode >= 0) colourTable(tableCode, 0);
    return *this;
  }
  // 2^(code+1) entries; entry i is (i + seed, 2i, 255 - i) modulo 256.
  GifBuilder& colourTable(int code, int seed) {
    for (int i = 0; i < (2 << code); ++i) {
      bytes.push_back(static_cast<std::uint8_t>(i + seed));
      bytes.push_back(static_cast<std::uint8_t>(2 * i));
      bytes.push_back(static_cast<std::uint8_t>(255 - i));
    }
    return *this;
  }
  GifBuilder& control(int packed, int transparent) {
    Bytes block{0x21,
                0xF9,
                0x04,
                static_cast<std::uint8_t>(packed),
                0,
                0,
                static_cast<std::uint8_t>(transparent),
                0};
    bytes.insert(bytes.end(), block.begin(), block.end());
    return *this;
  }
  GifBuilder& comment(const std::string& text) {
    bytes.push_back(0x21);
    bytes.push_back(0xFE);
    Bytes data(text.begin(), text.end());
    Bytes blocks = subBlocks(data);
    bytes.insert(bytes.end(), blocks.begin(), blocks.end());
    bytes.push_back(0);
    return *this;
  }
  GifBuilder& descriptor(int left, int top, int width, int height, int packed = 0) {
    bytes.push_back(0x2C);
    u16(left);
    u16(top);
    u16(width);
    u16(height);
    bytes.push_back(static_cast<std::uint8_t>(packed));
    if (packed & 0x80) colourTable(packed & 7, 100);
    return *this;
  }
  GifBuilder& data(int minimumSize, const std::vector<int>& codes, bool terminate = true) {
    bytes.push_back(static_cast<std::uint8_t>(minimumSize));
    Bytes blocks = subBlocks(packCodes(minimumSize, codes));
    bytes.insert(bytes.end(), blocks.begin(), blocks.end());
    if (terminate) bytes.push_back(0);
    return *this;
  }
  // An image of literal pixels with the descriptor's interlace bit as given.
  GifBuilder& image(int left, int top, int width, int height, const Bytes& pixels, int packed = 0,
                    int minimumSize = 8) {
    descriptor(left, top, width, height, packed);
    return data(minimumSize, literalCodes(minimumSize, pixels));
  }
  GifBuilder& trailer() {
    bytes.push_back(0x3B);
    return *this;
  }
  GifBuilder& raw(const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
  }

  Bytes bytes;

 private:
  void append(const char* text, int n) { bytes.insert(bytes.end(), text, text + n); }
  void u16(int value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  }
};

// The codes of a written image's data (sub-blocks after the minimum code size byte), with the
// width each was read at, following the decoder's rules; stops after the end code.
struct ReadCode {
  int code;
  int width;
};
inline std::vector<ReadCode> readCodes(const Bytes& blocks, int minimumSize) {
  Bytes data;
  for (std::size_t at = 0; at < blocks.size() && blocks[at] != 0; at += blocks[at] + 1u) {
    data.insert(data.end(), blocks.begin() + static_cast<std::ptrdiff_t>(at + 1),
                blocks.begin() + static_cast<std::ptrdiff_t>(at + 1 + blocks[at]));
  }
  CodeWidth tracker(minimumSize);
  std::vector<ReadCode> codes;
  std::size_t bit = 0;
  while (bit + static_cast<std::size_t>(tracker.width) <= data.size() * 8) {
    int code = 0;
    for (int i = 0; i < tracker.width; ++i, ++bit) {
      code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
    }
    codes.push_back({code, tracker.width});
    if (code == tracker.clear + 1) break;
    tracker.after(code);
  }
  return codes;
}

}  // namespace giftest
