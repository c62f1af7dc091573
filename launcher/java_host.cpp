#include "launcher/java_host.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace launcher {

const char kCantInitOle[] = "can't init OLE";
const char kCantInitJvm[] = "can't init JVM";
const char kClassLoaderFailed[] = "ClassLoader failed";
const char kCantExecuteClass[] = "can't execute class";
const char kUnknownExecutionError[] = "unknown error executing class";

namespace {

// Heap blocks of the conversions, freed through the same service that allocated them.
struct BlockFree {
  void operator()(void* block) const { platform::memory().release(block); }
};
template <typename T>
using HeapBlock = std::unique_ptr<T, BlockFree>;

std::size_t wideLength(const char16_t* text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// The ANSI code page is Latin-1 and the OEM code page is the same here, so the conversion of a
// description to OEM leaves it as it is.
void ansiToOem(char*) {}

}  // namespace

void copyToBuffer(char* buffer, std::size_t capacity, const char* text) {
  if (capacity == 0) return;
  std::size_t length = std::strlen(text);
  if (length >= capacity) length = capacity - 1;
  std::memcpy(buffer, text, length);
  buffer[length] = 0;
}

char16_t* toWide(const char* text, std::ptrdiff_t length) {
  std::size_t units = length < 0 ? std::strlen(text) + 1 : static_cast<std::size_t>(length);
  if (units >= SIZE_MAX / sizeof(char16_t)) return nullptr;
  auto* wide =
      static_cast<char16_t*>(platform::memory().allocate((units + 1) * sizeof(char16_t), false));
  if (!wide) return nullptr;
  for (std::size_t i = 0; i < units; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  wide[units] = 0;
  return wide;
}

char* toNarrow(const char16_t* text, std::ptrdiff_t length) {
  std::size_t units = length < 0 ? wideLength(text) + 1 : static_cast<std::size_t>(length);
  // One byte per character: a surrogate pair is one character and becomes one '?'.
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < units; ++i, ++bytes) {
    bool pair = text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 &&
                text[i + 1] < 0xE000;
    if (pair) ++i;
  }
  if (bytes == 0) return nullptr;
  auto* narrow = static_cast<char*>(platform::memory().allocate(bytes, false));
  if (!narrow) return nullptr;
  std::size_t out = 0;
  for (std::size_t i = 0; i < units; ++i) {
    char16_t unit = text[i];
    bool pair = unit >= 0xD800 && unit < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 &&
                text[i + 1] < 0xE000;
    if (pair) ++i;
    narrow[out++] = (!pair && unit <= 0xFF) ? static_cast<char>(unit) : '?';
  }
  return narrow;
}

bool JavaHost::startVm(char* detail) {
  if (!layer.initialise()) {
    copyToBuffer(detail, kDetailBufferSize, kCantInitOle);
    return false;
  }
  if (std::unique_ptr<VmFactory> factory = layer.obtainVm()) {
    vm = factory->createVm();
    if (!vm) copyToBuffer(detail, kDetailBufferSize, kClassLoaderFailed);
  } else {
    // The documented detail first; where the VM was looked for follows it, for the user to act.
    std::string text = kCantInitJvm;
    std::string looked = layer.whereLooked();
    if (!looked.empty()) text += "\n" + looked;
    copyToBuffer(detail, kDetailBufferSize, text.c_str());
  }
  // The factory has been released here, whatever happened.
  if (!vm) layer.terminate();
  return vm != nullptr;
}

int JavaHost::executeClass(const char* className, char* detail) {
  if (!vm) {
    copyToBuffer(detail, kDetailBufferSize, kCantExecuteClass);
    return 0;
  }
  HeapBlock<char16_t> wideName(toWide(className, -1));
  if (!wideName) {
    copyToBuffer(detail, kDetailBufferSize, kCantExecuteClass);
    return 0;
  }
  ExecutionRecord record;
  record.className = wideName.get();
  std::unique_ptr<VmError> error;

  VmStatus status = vm->execute(record, error);
  if (status < 0) {
    // The error object, if one came back as well, is not consulted.
    copyToBuffer(detail, kDetailBufferSize, kCantExecuteClass);
    return 0;
  }
  if (!error) return 1;

  std::u16string description;
  HeapBlock<char> narrow;
  if (error->description(description)) narrow.reset(toNarrow(description.c_str(), -1));
  if (narrow) {
    ansiToOem(narrow.get());
    copyToBuffer(detail, kDetailBufferSize, narrow.get());
  } else {
    copyToBuffer(detail, kDetailBufferSize, kUnknownExecutionError);
  }
  return 0;
}

void JavaHost::releaseVm() {
  if (!vm) return;
  vm.reset();
  layer.terminate();
}

}  // namespace launcher
