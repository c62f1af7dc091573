// The Microsoft Cabinet format as the writer lays it out: a 36-byte header (CFHEADER), one 8-byte
// entry per folder (CFFOLDER), one entry per file (CFFILE: 16 bytes and the zero-terminated
// name), then the data blocks (CFDATA: an 8-byte header and the compressed bytes) of every folder
// in folder order. All fields are little-endian. No reserved areas and no links to neighbouring
// cabinets are written, so the header is always the fixed 36 bytes.
//
// Limits of the format that the writer enforces: 65535 files per cabinet, folder indexes below
// 0xFFFD (the higher values mark files continued across cabinets), 65535 blocks per folder of at
// most 32768 uncompressed bytes each (so at most 0x7FFF8000 bytes per folder, which keeps every
// file size and folder offset within 32 bits), a cabinet of at most 0x7FFFFFFF bytes, and names
// of at most 255 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/common/endian.h"

namespace cab {

constexpr std::uint32_t kHeaderSize = 36;
constexpr std::uint32_t kFolderEntrySize = 8;
constexpr std::uint32_t kFileEntrySize = 16;  // without the name
constexpr std::uint32_t kDataHeaderSize = 8;

constexpr std::uint32_t kBlockSize = 32768;
constexpr std::uint32_t kMaxBlocksPerFolder = 65535;
constexpr std::uint64_t kMaxFolderBytes = std::uint64_t{kBlockSize} * kMaxBlocksPerFolder;
constexpr std::uint32_t kMaxFiles = 65535;
constexpr std::uint32_t kMaxFolders = 0xFFFD;
constexpr std::uint64_t kMaxCabinetSize = 0x7FFFFFFF;
constexpr std::size_t kMaxNameLength = 255;

constexpr std::uint16_t kCompressionMszip = 1;
constexpr std::uint16_t kAttributeExecute = 0x40;  // run after extraction

// Every field is little-endian.
using byte_order::put16;
using byte_order::put32;

// The format's checksum of `size` bytes continued from `seed`: the XOR of the little-endian
// 32-bit words, with the 1 to 3 trailing bytes taken as one word, first byte most significant.
std::uint32_t checksum(const std::uint8_t* data, std::size_t size, std::uint32_t seed);

// The checksum stored in a data block's header: over the compressed bytes, then over the two
// 16-bit size fields that follow the checksum field in `header`.
inline std::uint32_t dataBlockChecksum(const std::uint8_t* header, const std::uint8_t* data,
                                       std::size_t size) {
  return checksum(header + 4, 4, checksum(data, size, 0));
}

}  // namespace cab
