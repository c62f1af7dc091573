// Reading cabinets back in tests: a small independent parser of the header, folder, file and
// data-block tables (checksums recomputed byte by byte), and capture of the builder's lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/testing/platform_testing.h"

struct ParsedBlock {
  std::uint16_t compressed;
  std::uint16_t uncompressed;
  bool checksumMatches;
  bool startsWithCK;
};

struct ParsedFolder {
  std::uint16_t compression;
  std::vector<ParsedBlock> blocks;
};

struct ParsedFile {
  std::string name;
  std::uint32_t size;
  std::uint32_t folderOffset;
  std::uint16_t folder;
  std::uint16_t attributes;
};

struct ParsedCabinet {
  std::uint32_t declaredSize;
  std::uint16_t flags;
  std::uint16_t setId;
  std::uint16_t index;
  std::vector<ParsedFolder> folders;
  std::vector<ParsedFile> files;
};

inline std::uint32_t cabReferenceChecksum(const std::uint8_t* p, std::size_t n,
                                          std::uint32_t seed) {
  std::uint32_t sum = seed;
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    sum ^= std::uint32_t{p[i]} | std::uint32_t{p[i + 1]} << 8 | std::uint32_t{p[i + 2]} << 16 |
           std::uint32_t{p[i + 3]} << 24;
  }
  std::uint32_t tail = 0;
  switch (n - i) {
    case 3:
      tail = std::uint32_t{p[i]} << 16 | std::uint32_t{p[i + 1]} << 8 | p[i + 2];
      break;
    case 2:
      tail = std::uint32_t{p[i]} << 8 | p[i + 1];
      break;
    case 1:
      tail = p[i];
      break;
    default:
      break;
  }
  return sum ^ tail;
}

// Null when the bytes are not a cabinet or a table runs past the end.
inline std::optional<ParsedCabinet> parseCabinet(const std::string& text) {
  const auto* b = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); };
  auto u32 = [&](std::size_t at) {
    return std::uint32_t{u16(at)} | std::uint32_t{u16(at + 2)} << 16;
  };
  if (n < 36 || text.compare(0, 4, "MSCF") != 0) return std::nullopt;
  ParsedCabinet cabinet{u32(8), u16(30), u16(32), u16(34), {}, {}};
  std::size_t folders = u16(26);
  std::size_t files = u16(28);
  std::size_t at = 36;
  std::vector<std::pair<std::uint32_t, std::uint16_t>> starts;
  for (std::size_t i = 0; i < folders; ++i, at += 8) {
    if (at + 8 > n) return std::nullopt;
    starts.emplace_back(u32(at), u16(at + 4));
    cabinet.folders.push_back({u16(at + 6), {}});
  }
  at = u32(16);
  for (std::size_t i = 0; i < files; ++i) {
    if (at + 16 > n) return std::nullopt;
    ParsedFile file{"", u32(at), u32(at + 4), u16(at + 8), u16(at + 14)};
    at += 16;
    while (at < n && b[at]) file.name += static_cast<char>(b[at++]);
    if (at++ >= n) return std::nullopt;
    cabinet.files.push_back(file);
  }
  for (std::size_t f = 0; f < folders; ++f) {
    at = starts[f].first;
    for (std::size_t k = 0; k < starts[f].second; ++k) {
      if (at + 8 > n) return std::nullopt;
      ParsedBlock block{u16(at + 4), u16(at + 6), false, false};
      if (at + 8 + block.compressed > n) return std::nullopt;
      std::uint32_t sum = cabReferenceChecksum(
          b + at + 4, 4, cabReferenceChecksum(b + at + 8, block.compressed, 0));
      block.checksumMatches = sum == u32(at);
      block.startsWithCK = block.compressed >= 2 && b[at + 8] == 'C' && b[at + 9] == 'K';
      cabinet.folders[f].blocks.push_back(block);
      at += 8 + block.compressed;
    }
  }
  return cabinet;
}

// Points "CABINET" at a module file for the life of the object.
class CabinetModule {
 public:
  explicit CabinetModule(const std::string& file) {
    platform::setModuleFileOverride("CABINET", file.c_str());
  }
  ~CabinetModule() { platform::setModuleFileOverride("CABINET", nullptr); }
  CabinetModule(const CabinetModule&) = delete;
  CabinetModule& operator=(const CabinetModule&) = delete;
};

inline std::string fakeCabinetModule(const std::string& variant) {
  return std::string(TAVOLIN_FAKE_CABINET_DIR) + "/libfake_cabinet_" + variant + ".so";
}
