// The GIF writer's LZW encoder: variable-width codes (9 to 12 bits after a minimum code size of
// 8), a string table found through a 5003-slot open-addressed hash table (probe steps 1, 3, 5,
// ...), and codes packed least significant bit first into data sub-blocks of 254 or 255 bytes.
//
// One encoder serves one image of one save: each save makes its own, so saves on different
// threads cannot disturb each other. Nothing is allocated while encoding.
#pragma once

#include <cstdint>

#include "library/image/gif_output.h"

class LzwEncoder {
 public:
  explicit LzwEncoder(GifOutput& output) : output_(output) {}

  // Writes the minimum code size byte (8) and the clear code that starts the data.
  void start();
  // Encodes `count` more pixels.
  void addPixels(const std::uint8_t* pixels, std::int32_t count);
  // Writes the last string's code, the end code, what is still held, and the closing
  // zero-length sub-block. A stream without pixels holds only the clear and end codes.
  void finish();

  void resetTables(std::int32_t bits);
  void outputCode(std::int32_t code);
  void flushBlock(std::int32_t count);

  static constexpr std::int32_t kTableSize = 5003;  // a prime
  static constexpr std::int32_t kMaxCode = 4095;

  std::int32_t initBits = 8;
  std::int32_t nBits = 0;
  std::int32_t maxCode = 0;
  std::int32_t clearCode = 0;
  std::int32_t eoiCode = 0;
  std::int32_t freeCode = 0;
  std::uint16_t codeTable[kTableSize];  // 0 marks an empty slot
  std::int16_t prefixTable[kTableSize];
  std::uint8_t suffixTable[kTableSize];
  std::int32_t bitCount = 0;
  std::uint8_t blockBuffer[256];

 private:
  GifOutput& output_;
  std::int32_t ent_ = -1;  // the code of the string matched so far; -1 before the first pixel
};
