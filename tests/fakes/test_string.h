// A Java string made by a test: a string handle over UTF-16 units, without a JVM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "library/boundary/java_string.h"

class TestString : public JavaString {
 public:
  explicit TestString(std::u16string units) : JavaString{&kOps}, units_(std::move(units)) {}
  // Latin-1 bytes, one unit each.
  static TestString latin1(const std::string& text) {
    std::u16string units;
    for (unsigned char c : text) units += static_cast<char16_t>(c);
    return TestString(units);
  }
  StringHandle handle() const { return this; }

  // How often the length was asked for, and how many units were read in all.
  mutable int lengthReads = 0;
  mutable std::size_t unitsRead = 0;

 private:
  static std::int32_t length(StringHandle string) {
    const auto* self = static_cast<const TestString*>(string);
    ++self->lengthReads;
    return static_cast<std::int32_t>(self->units_.size());
  }
  static void copy(StringHandle string, std::int32_t start, std::int32_t count,
                   std::uint16_t* out) {
    const auto* self = static_cast<const TestString*>(string);
    self->unitsRead += static_cast<std::size_t>(count);
    const std::u16string& units = self->units_;
    for (std::int32_t i = 0; i < count; ++i) out[i] = units[static_cast<std::size_t>(start + i)];
  }
  static constexpr JavaStringOps kOps{length, copy};
  std::u16string units_;
};
