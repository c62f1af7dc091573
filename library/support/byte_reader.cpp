#include "library/support/byte_reader.h"

#include <cstring>
#include <limits>

#include "library/support/file_helpers.h"
#include "library/support/memory_helpers.h"
#include "library/support/reporting.h"

std::uint8_t* ByteReader::load(const char* name, platform::FileIdentity* identity) {
  bool mismatch = false;
  return load(name, "", mismatch, identity);
}

std::uint8_t* ByteReader::load(const char* name, const char* signature, bool& mismatch,
                               platform::FileIdentity* identity) {
  buffer = loadWholeFileStartingWith(name, length, signature, mismatch, identity);
  if (!buffer) length = 0;
  cursor = buffer;
  position = 0;
  return buffer;
}

std::uint8_t* ByteReader::loadFromMemory(const void* data, std::size_t size) {
  cursor = buffer = nullptr;
  length = position = 0;
  if (size >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    showError("Sorry, not enough memory");
    return nullptr;
  }
  buffer = static_cast<std::uint8_t*>(allocGlobalBlock(size + 1, kGlobalMovable));
  if (!buffer) return nullptr;
  if (size) std::memcpy(buffer, data, size);
  buffer[size] = 0;
  length = static_cast<std::int32_t>(size);
  cursor = buffer;
  return buffer;
}

std::int32_t ByteReader::remaining() const {
  if (!buffer) return 0;
  return length - static_cast<std::int32_t>(cursor - buffer);
}

std::uint8_t ByteReader::readByte() {
  ++position;
  if (remaining() <= 0) return 0;
  return *cursor++;
}

const std::uint8_t* ByteReader::skip(std::int32_t count) {
  const std::uint8_t* passed = cursor;
  if (count <= 0) return passed;
  position += count;
  std::int32_t left = remaining();
  cursor += count < left ? count : (left > 0 ? left : 0);
  return passed;
}

std::int32_t ByteReader::readBlock(void* destination, std::int32_t count) {
  if (count <= 0) return count < 0 ? 0 : count;
  std::int32_t left = remaining();
  std::int32_t available = count < left ? count : (left > 0 ? left : 0);
  if (available) std::memcpy(destination, cursor, static_cast<std::size_t>(available));
  std::memset(static_cast<std::uint8_t*>(destination) + available, 0,
              static_cast<std::size_t>(count - available));
  cursor += available;
  position += count;
  return count;
}

void ByteReader::unreadByte() {
  if (buffer && cursor > buffer) --cursor;
}

void ByteReader::release() {
  if (buffer) freeWholeFile(buffer);
  buffer = nullptr;
}
