// Fuzz target for the Java string conversions: any UTF-16 text and any buffer size must convert
// without writing past the buffer, always ending in a zero byte; a name's UTF-8 form fits its
// buffer and is accepted only for a name of at most 255 characters of U+0001..U+00FF.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "library/boundary/file_name.h"
#include "library/boundary/java_string.h"

namespace {

struct FuzzString : JavaString {
  const std::uint8_t* data;
  std::int32_t units;
};

std::int32_t fuzzLength(StringHandle handle) {
  return static_cast<const FuzzString*>(handle)->units;
}

void fuzzUnits(StringHandle handle, std::int32_t start, std::int32_t count, std::uint16_t* out) {
  const auto* string = static_cast<const FuzzString*>(handle);
  if (start < 0 || count < 0 || start + count > string->units) std::abort();
  for (std::int32_t i = 0; i < count; ++i) {
    const std::uint8_t* unit = string->data + 2 * (start + i);
    out[i] = static_cast<std::uint16_t>(unit[0] | unit[1] << 8);
  }
}

const JavaStringOps kOps{fuzzLength, fuzzUnits};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the buffer size; the rest is the text.
  std::int32_t bufferSize = data[0] | (data[1] & 0x7F) << 8;
  FuzzString string{{&kOps}, data + 2, static_cast<std::int32_t>((size - 2) / 2)};
  std::vector<char> buffer(static_cast<std::size_t>(bufferSize));
  javaString2CString(&string, buffer.data(), bufferSize);
  if (bufferSize > 0) {
    std::int32_t expected = string.units < bufferSize - 1 ? string.units : bufferSize - 1;
    if (buffer[static_cast<std::size_t>(expected)] != '\0') std::abort();
  }

  FileName name;
  bool whole = convertFileName(&string, name);
  bool expectedWhole = string.units < kNameBufferSize;
  for (std::int32_t i = 0; i < string.units && expectedWhole; ++i) {
    std::uint16_t unit = static_cast<std::uint16_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8);
    expectedWhole = unit != 0 && unit <= 0xFF;
  }
  if (whole != expectedWhole || std::memchr(name, '\0', sizeof name) == nullptr) std::abort();
  return 0;
}
