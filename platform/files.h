// Files: opening, reading, writing and closing ordinary files, and what names mean.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// An open file. The invalid handle, returned by every failed open or create, has all bits set;
// every other value is an open file.
using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

// Opens an existing ordinary file for reading. Nothing is waited for: a pipe, a device, a
// directory or a socket is refused as soon as it is seen, never opened in a way that would block.
// The invalid handle when the name is missing, names no ordinary file, or cannot be opened.
FileHandle openFileForReading(const char* name);

// One read or write request, without retry. The byte count (short at the end of the file), or -1
// when the operating system reports a failure.
std::int64_t readFile(FileHandle file, void* destination, std::size_t count);
std::int64_t writeFile(FileHandle file, const void* source, std::size_t count);

// One read request at `offset` from the start of the file, leaving the file's position alone.
std::int64_t readFileAt(FileHandle file, void* destination, std::size_t count,
                        std::uint64_t offset);

// Moves the file's position to `distance` from the origin (0 start, 1 current, 2 end); the new
// position, or -1 when it cannot be moved there (a negative position is never taken).
std::int64_t seekFile(FileHandle file, std::int64_t distance, int origin);

// The file's size in bytes, or -1.
std::int64_t fileSize(FileHandle file);

// Closes the file; false when the system reports that what was written may not have reached it
// (some file systems only tell at the close).
bool closeFile(FileHandle file);

// Removes a file; false when it could not be removed.
bool removeFile(const char* name);

// The name in the form this system's own calls take (each implementation says which; where the
// system takes UTF-8 names, the name itself).
std::string nativeName(const char* name);

// `name` as seen from `folder`: the name itself when it is absolute or the folder
// is empty, else the folder and the name joined by one separator. What the name would mean with
// the folder current, without making it current.
std::string joinedName(const char* folder, const char* name);

}  // namespace platform
