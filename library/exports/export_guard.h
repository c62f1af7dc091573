// The one guard around every export and JNI entry: no C++ exception may leave the library, since
// one that reaches a JNI frame aborts the whole Java VM. An exception (in practice a failed
// allocation inside a standard container) becomes the export's documented failure result.
#pragma once

#include <cstdint>
#include <new>

#include "platform/platform.h"

template <typename Body>
std::int32_t guardExport(std::int32_t failureResult, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    platform::messages().trace("Not enough memory to finish the call");
  } catch (...) {
    platform::messages().trace("The call ended with an unexpected error");
  }
  return failureResult;
}
