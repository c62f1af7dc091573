#include "library/support/file_helpers.h"

#include <cstring>
#include <limits>

#include "library/support/memory_helpers.h"
#include "library/support/reporting.h"

FileHandle openForReading(const char* name) {
  FileHandle file = platform::openFileForReading(name);
  if (file == kInvalidHandle) traceMessage("File not found: ", name);
  return file;
}

FileHandle openWithSize(const char* name, std::int32_t& size) {
  FileHandle file = openForReading(name);
  size = file == kInvalidHandle ? 0 : fileSize(file);
  return file;
}

void closeFile(FileHandle file) {
  if (file != kInvalidHandle) platform::closeFile(file);
}

std::int32_t fileSize(FileHandle file) {
  std::int64_t size = platform::fileSize(file);
  return size < 0 ? -1 : static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
}

std::int32_t readBytes(FileHandle file, void* destination, std::int32_t count) {
  if (count <= 0) return 0;
  std::int64_t got = platform::readFile(file, destination, static_cast<std::size_t>(count));
  if (got < 0) {
    showError("Cannot read file");
    return -1;
  }
  return static_cast<std::int32_t>(got);
}

std::int32_t writeBytes(FileHandle file, const void* source, std::int32_t count) {
  if (count <= 0) return 0;
  std::int64_t written = platform::writeFile(file, source, static_cast<std::size_t>(count));
  if (written < 0) {
    showError("Cannot write file");
    return -1;
  }
  return static_cast<std::int32_t>(written);
}

std::int32_t writeInt32(FileHandle file, std::uint32_t value) {
  std::uint8_t bytes[4];
  byte_order::put32(bytes, value);
  return writeBytes(file, bytes, 4);
}

std::int32_t writeByte(FileHandle file, std::uint32_t value) {
  const std::uint8_t byte = static_cast<std::uint8_t>(value);
  return writeBytes(file, &byte, 1);
}

std::uint8_t* loadWholeFile(const char* name, std::int32_t& size,
                            platform::FileIdentity* identity) {
  bool mismatch = false;
  return loadWholeFileStartingWith(name, size, "", mismatch, identity);
}

std::uint8_t* loadWholeFileStartingWith(const char* name, std::int32_t& size, const char* signature,
                                        bool& mismatch, platform::FileIdentity* identity) {
  mismatch = false;
  FileHandle file = openForReading(name);
  if (file == kInvalidHandle) {
    size = 0;
    return nullptr;
  }
  // Taken before the read: whatever changes the file from here on changes its identity.
  if (identity && !platform::fileIdentity(file, *identity)) *identity = platform::FileIdentity{};
  std::int64_t fullSize = platform::fileSize(file);
  size = fullSize < 0 ? 0 : static_cast<std::int32_t>(static_cast<std::uint32_t>(fullSize));
  std::uint8_t head[16];
  const auto headLength = static_cast<std::int32_t>(std::strlen(signature));
  if (headLength > static_cast<std::int32_t>(sizeof head)) {
    closeFile(file);
    return nullptr;
  }
  const std::int32_t headRead = readBytes(file, head, headLength);
  if (headRead != headLength || std::memcmp(head, signature, headLength) != 0) {
    mismatch = true;
    closeFile(file);
    return nullptr;
  }
  // A whole-file block is addressed with 32-bit offsets; larger files cannot be held.
  if (fullSize < 0 || fullSize >= std::numeric_limits<std::int32_t>::max()) {
    closeFile(file);
    if (fullSize >= 0) showError("Sorry, not enough memory");
    return nullptr;
  }
  auto* block = static_cast<std::uint8_t*>(allocGlobalBlock(size + 1u, kGlobalMovable));
  if (!block) {
    closeFile(file);
    return nullptr;
  }
  std::memcpy(block, head, static_cast<std::size_t>(headRead));
  std::int32_t got = readBytes(file, block + headRead, size - headRead);
  // Whatever the read did not deliver is zero, never stale memory.
  std::int32_t delivered = headRead + (got < 0 ? 0 : got);
  if (delivered > size) delivered = size;
  std::memset(block + delivered, 0, static_cast<std::size_t>(size - delivered) + 1);
  closeFile(file);
  return block;
}

void freeWholeFile(std::uint8_t* block) { freeGlobalBlock(block); }
