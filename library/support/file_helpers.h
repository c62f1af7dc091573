// The library's file helpers over the platform's file handle. Names are 8-bit Latin-1 texts.
// Files are only read here; they are written through a ReplacementFile
// (library/support/replacement_file.h) and the write helpers below.
//
// Failures to open or create are silent for the user (a diagnostic goes to traceMessage); a read
// or write that the platform reports as failed shows "Cannot read file" / "Cannot write file"
// and gives -1. A short count is returned as it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/common/endian.h"
#include "platform/platform.h"

using FileHandle = platform::FileHandle;
constexpr FileHandle kInvalidHandle = platform::kInvalidFile;

// An existing ordinary file opened for reading; the invalid handle when it is missing, is not an
// ordinary file (a pipe or a device is refused at once, never waited for) or cannot be opened.
FileHandle openForReading(const char* name);

// As openForReading, also giving the file's size (0 on failure).
FileHandle openWithSize(const char* name, std::int32_t& size);

// An invalid handle is ignored; every other value, 0 included, is an open file.
void closeFile(FileHandle file);

// The file's size, the low 32 bits.
std::int32_t fileSize(FileHandle file);

std::int32_t readBytes(FileHandle file, void* destination, std::int32_t count);
std::int32_t writeBytes(FileHandle file, const void* source, std::int32_t count);

// The value's 4 bytes, least significant first.
std::int32_t writeInt32(FileHandle file, std::uint32_t value);

// The value's least significant byte.
std::int32_t writeByte(FileHandle file, std::uint32_t value);

// The whole file in one block of size + 1 bytes, the last one zero; null when the file cannot be
// opened (size 0) or the block cannot be allocated (size keeps the file's size). Free it with
// freeWholeFile. Bytes a failed or short read did not deliver are zero. `identity`, when given,
// receives the identity of the file read (for a later replacement of it).
std::uint8_t* loadWholeFile(const char* name, std::int32_t& size,
                            platform::FileIdentity* identity = nullptr);

// As loadWholeFile, for a file that must begin with the zero-terminated `signature` (at most 16
// bytes): those first bytes are read and compared before the block is allocated, so that a large
// file of another kind costs one small read. A file that does not begin so (shorter ones
// included, and one whose first read failed: "Cannot read file" shown) gives null with
// `mismatch` set and size its size; every other null leaves `mismatch` clear.
std::uint8_t* loadWholeFileStartingWith(const char* name, std::int32_t& size, const char* signature,
                                        bool& mismatch, platform::FileIdentity* identity = nullptr);
void freeWholeFile(std::uint8_t* block);

// swapBytes32, the value with its 4 bytes in reverse order for a big-endian field written with
// writeInt32, is in the byte order helpers included above.
