// Hand-made WAV bytes for the audio tests: a canonical RIFF file, or one with chunks spliced in,
// so that each test says exactly which bytes the reader meets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavtest {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void put32(Bytes& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

inline void putText(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

struct Format {
  std::uint16_t formatTag = 1;
  std::uint16_t channels = 1;
  std::uint32_t sampleRate = 8000;
  std::uint16_t blockAlign = 1;
  std::uint16_t bitsPerSample = 8;
};

// A "fmt " chunk: the 16 fields, `extra` bytes after them, and the pad byte an odd length needs.
inline Bytes fmtChunk(const Format& f, const Bytes& extra = {}) {
  Bytes out;
  putText(out, "fmt ");
  put32(out, static_cast<std::uint32_t>(16 + extra.size()));
  put16(out, f.formatTag);
  put16(out, f.channels);
  put32(out, f.sampleRate);
  put32(out, f.sampleRate * f.blockAlign);
  put16(out, f.blockAlign);
  put16(out, f.bitsPerSample);
  out.insert(out.end(), extra.begin(), extra.end());
  if (extra.size() % 2) out.push_back(0);
  return out;
}

// Any chunk with its pad byte.
inline Bytes chunk(const std::string& tag, const Bytes& body) {
  Bytes out;
  putText(out, tag);
  put32(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() % 2) out.push_back(0);
  return out;
}

// "RIFF", its length, "WAVE" and the given chunks in order.
inline Bytes riff(const std::vector<Bytes>& chunks) {
  Bytes body;
  putText(body, "WAVE");
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes out;
  putText(out, "RIFF");
  put32(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// The canonical 44-byte-header file.
inline Bytes canonicalWav(const Format& f, const Bytes& samples) {
  return riff({fmtChunk(f), chunk("data", samples)});
}

// `frames` frames of 16-bit stereo: left i, right -i - 1000.
inline Bytes stereo16(std::int32_t frames) {
  Bytes out;
  for (std::int32_t i = 0; i < frames; ++i) {
    put16(out, static_cast<std::uint16_t>(i));
    put16(out, static_cast<std::uint16_t>(-i - 1000));
  }
  return out;
}

}  // namespace wavtest
