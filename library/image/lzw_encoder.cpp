#include "library/image/lzw_encoder.h"

#include <cstring>

void LzwEncoder::start() {
  output_.putByte(static_cast<std::uint8_t>(initBits));
  bitCount = 0;
  resetTables(initBits);
  outputCode(clearCode);
  ent_ = -1;
}

void LzwEncoder::resetTables(std::int32_t bits) {
  nBits = bits + 1;
  clearCode = 1 << bits;
  eoiCode = clearCode + 1;
  freeCode = clearCode + 2;
  maxCode = 1 << (bits + 1);
  // Only the code table marks which slots are in use; the other two are read for used slots.
  std::memset(codeTable, 0, sizeof codeTable);
}

void LzwEncoder::flushBlock(std::int32_t count) {
  output_.putByte(static_cast<std::uint8_t>(count));
  output_.put(blockBuffer, count);
}

void LzwEncoder::outputCode(std::int32_t code) {
  std::int32_t whole = bitCount >> 3;
  std::int32_t spare = bitCount & 7;
  if (whole >= 254) {
    // A sub-block of 254 or 255 bytes; the partly filled byte starts the next one.
    flushBlock(whole);
    blockBuffer[0] = blockBuffer[whole];
    bitCount = spare;
    whole = 0;
  }
  // The low bits fill the free high bits of the partly filled byte; the rest go into the next
  // one or two bytes, which are assigned whole so that no stale bits survive. whole <= 253, so
  // whole + 2 stays inside the buffer.
  std::uint32_t bits = static_cast<std::uint32_t>(code) << spare;
  blockBuffer[whole] = static_cast<std::uint8_t>((spare ? blockBuffer[whole] : 0) | bits);
  blockBuffer[whole + 1] = static_cast<std::uint8_t>(bits >> 8);
  blockBuffer[whole + 2] = static_cast<std::uint8_t>(bits >> 16);
  bitCount += nBits;
}

void LzwEncoder::addPixels(const std::uint8_t* pixels, std::int32_t count) {
  std::int32_t i = 0;
  std::int32_t ent = ent_;
  if (ent < 0) {
    if (count <= 0) return;
    ent = pixels[0];
    i = 1;
  }
  for (; i < count; ++i) {
    const std::int32_t c = pixels[i];
    // (c << 5) ^ ent is below 8192, less than twice the table size: one subtraction is the
    // modulo, and it keeps the hash off the slow path of a division on every pixel.
    std::int32_t slot = (c << 5) ^ ent;
    if (slot >= kTableSize) slot -= kTableSize;
    std::int32_t step = 1;
    std::int32_t probes = 0;
    bool saturated = false;
    std::uint16_t code = codeTable[slot];
    while (code != 0) {
      if (prefixTable[slot] == ent && suffixTable[slot] == c) break;
      slot += step;
      step += 2;
      if (slot >= kTableSize) slot %= kTableSize;
      // Quadratic probing reaches only about half of the slots from any start. Should every one
      // of them be taken, the string cannot be entered: the table is then treated as full
      // (cleared after this code), where searching on would never end.
      if (++probes > kTableSize) {
        saturated = true;
        break;
      }
      code = codeTable[slot];
    }
    if (code != 0 && !saturated) {
      ent = code;
      continue;
    }

    outputCode(ent);
    const std::int32_t assigned = freeCode;
    if (assigned <= kMaxCode) {
      if (!saturated) {
        codeTable[slot] = static_cast<std::uint16_t>(assigned);
        prefixTable[slot] = static_cast<std::int16_t>(ent);
        suffixTable[slot] = static_cast<std::uint8_t>(c);
      }
      freeCode = assigned + 1;
    }
    if (assigned == maxCode) {
      if (nBits < 12) {
        ++nBits;
        maxCode *= 2;
      } else {
        outputCode(clearCode);
        resetTables(initBits);
        saturated = false;
      }
    }
    if (saturated) {
      outputCode(clearCode);
      resetTables(initBits);
    }
    ent = c;
  }
  ent_ = ent;
}

void LzwEncoder::finish() {
  if (ent_ >= 0) outputCode(ent_);
  outputCode(eoiCode);
  if (bitCount > 0) {
    // Up to 256 bytes can be held here; a sub-block carries at most 255.
    std::int32_t held = (bitCount + 7) / 8;
    std::int32_t first = held < 255 ? held : 255;
    flushBlock(first);
    if (held > first) {
      output_.putByte(static_cast<std::uint8_t>(held - first));
      output_.put(blockBuffer + first, held - first);
    }
  }
  output_.putByte(0);
  ent_ = -1;
}
