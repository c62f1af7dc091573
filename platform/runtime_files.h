// Runtime files, file dates and attributes, temporary files: what the cabinet writer's callbacks
// need, with the C runtime's conventions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/common/runtime_flags.h"
#include "platform/files.h"

namespace platform {

// Low-level file operations with the C runtime's conventions, for components that expect them
// through callbacks. Flags and permission modes are the original platform's runtime values
// (platform/common/runtime_flags.h), translated here. Each returns the runtime's result (-1, or
// a short count, on failure) and, when it fails, stores the error number in `error`.
//
// A runtime descriptor is the C runtime's, not a FileHandle: the two are different things on
// some systems and never stand for each other. The invalid descriptor is -1; 0 is a descriptor
// like any other.
using RuntimeFile = int;
constexpr RuntimeFile kInvalidRuntimeFile = -1;

// Opens without waiting for anything and only ordinary files: a pipe, a device or a directory
// fails with the error number of an unsuitable file (a name that is not a regular file).
RuntimeFile runtimeOpen(const char* name, int flags, int mode, int& error);
std::int64_t runtimeRead(RuntimeFile file, void* destination, std::size_t count, int& error);
std::int64_t runtimeWrite(RuntimeFile file, const void* source, std::size_t count, int& error);
int runtimeClose(RuntimeFile file, int& error);
// Moves to `distance` from the origin (0 start, 1 current, 2 end); the new position, or -1. As
// with the runtime's 32-bit seek, a position past 2^31 - 1 cannot be reported and fails.
std::int32_t runtimeSeek(RuntimeFile file, std::int32_t distance, int origin, int& error);
int runtimeRemove(const char* name, int& error);

// The file's last write as a local DOS date and time (2-second steps; times before 1980 are
// given as 1980-01-01 00:00:00, times after 2107 as 2107-12-31 23:59:58). False when the file's
// information cannot be read.
bool lastWriteDosDateTime(FileHandle file, std::uint16_t& date, std::uint16_t& time);

// File attributes in the original platform's bits.
constexpr std::uint32_t kAttributeReadOnly = 0x01;
constexpr std::uint32_t kAttributeHidden = 0x02;
constexpr std::uint32_t kAttributeSystem = 0x04;
constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeArchive = 0x20;

// The attributes of the named file in the bits above; false when it cannot be examined. A system
// that keeps no such bits derives them from what it does keep (its implementation says how).
bool fileAttributes(const char* name, std::uint32_t& attributes);

// A unique name starting with `prefix` in the system's temporary folder, for a
// temporary file that the caller opens with create and removes when done. Where the caller's
// open is not exclusive, the call has already created the file, empty and private, so that no
// other program can put one there first; where the system's own callers create it exclusively,
// the name is left free for them. False when no name could be had.
bool createTempFile(const char* prefix, std::string& name);

}  // namespace platform
