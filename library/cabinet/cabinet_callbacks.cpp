#include "library/cabinet/cabinet_callbacks.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

constexpr std::uint16_t kKeptAttributes = 0x27;  // read-only, hidden, system, archive

void setError(int* slot, int error) {
  if (slot) *slot = error;
}

// The build's cabinet when `file` is the handle that stands for it.
CabinetOutput* cabinetOf(void* context, std::intptr_t file) {
  auto* output = static_cast<CabinetOutput*>(context);
  return output && output->isCabinet(file) ? output : nullptr;
}

// The writer holds runtime descriptors in pointer-sized integers.
platform::RuntimeFile runtimeFile(std::intptr_t file) {
  return static_cast<platform::RuntimeFile>(file);
}

}  // namespace

void* cabinetAllocate(std::uint32_t size) { return platform::memory().allocate(size, false); }

void cabinetRelease(void* block) { platform::memory().release(block); }

void CabinetOutput::expectCabinet(const CCAB& parameters) {
  std::string path(parameters.szCabPath,
                   strnlen(parameters.szCabPath, sizeof parameters.szCabPath));
  std::string name(parameters.szCab, strnlen(parameters.szCab, sizeof parameters.szCab));
  locations_.assign({path + name});
  if (!path.empty() && path.back() != '/' && path.back() != '\\') {
    locations_.push_back(path + '/' + name);
  }
}

bool CabinetOutput::takesAsCabinet(const char* name) const {
  if (!name) return false;
  for (const std::string& location : locations_) {
    if (location == name) return true;
  }
  return false;
}

bool CabinetOutput::isTemporaryName(const char* name) const {
  if (!name) return false;
  for (const std::string& temporary : temporaryNames_) {
    if (temporary == name) return true;
  }
  return false;
}

bool CabinetOutput::takeUnnamed(const char* name) {
  for (auto it = unnamed_.begin(); name && it != unnamed_.end(); ++it) {
    if (*it == name) {
      unnamed_.erase(it);
      return true;
    }
  }
  return false;
}

bool CabinetOutput::start(const char* name) {
  discard();
  if (!file_.create(name)) return false;
  name_ = name;
  open_ = true;
  closed_ = false;
  return true;
}

std::int64_t CabinetOutput::write(const void* bytes, std::size_t count) {
  const auto* from = static_cast<const std::uint8_t*>(bytes);
  std::size_t done = 0;
  while (done < count) {
    std::int64_t written = platform::writeFile(file_.file(), from + done, count - done);
    if (written <= 0) return done > 0 ? static_cast<std::int64_t>(done) : -1;
    done += static_cast<std::size_t>(written);
  }
  return static_cast<std::int64_t>(done);
}

std::int32_t CabinetOutput::seek(std::int32_t distance, int origin) {
  std::int64_t position = platform::seekFile(file_.file(), distance, origin);
  if (position < 0 || position > INT32_MAX) return -1;
  return static_cast<std::int32_t>(position);
}

bool CabinetOutput::commit() {
  if (!open_) return true;
  open_ = false;
  if (!closed_) {
    file_.discard();
    return false;
  }
  return file_.commit();
}

void CabinetOutput::discard() {
  file_.discard();
  open_ = false;
  closed_ = false;
}

std::intptr_t cabinetOpen(char* name, int flags, int mode, int* error, void* context) {
  auto* output = static_cast<CabinetOutput*>(context);
  if (output && (flags & platform::kRuntimeCreate) && output->takesAsCabinet(name)) {
    if (output->start(name)) return output->handle();
    // Not an ordinary file, a file that may not be written, or a folder that takes nothing.
    setError(error, EACCES);
    return -1;
  }
  int failure = 0;
  platform::RuntimeFile file = platform::runtimeOpen(name, flags, mode, failure);
  if (file == platform::kInvalidRuntimeFile) {
    setError(error, failure);
  } else if (output && output->isTemporaryName(name) &&
             platform::runtimeRemove(name, failure) == 0) {
    // The open file needs no name any more; without one, nothing outlives a killed process.
    output->markUnnamed(name);
  }
  return file;
}

unsigned int cabinetRead(std::intptr_t file, void* buffer, unsigned int count, int* error,
                         void* context) {
  if (cabinetOf(context, file)) {
    // The cabinet is only ever written, front to back.
    setError(error, EBADF);
    return static_cast<unsigned int>(-1);
  }
  int failure = 0;
  auto got =
      static_cast<unsigned int>(platform::runtimeRead(runtimeFile(file), buffer, count, failure));
  if (got != count) setError(error, failure);
  return got;
}

unsigned int cabinetWrite(std::intptr_t file, void* buffer, unsigned int count, int* error,
                          void* context) {
  if (CabinetOutput* output = cabinetOf(context, file)) {
    auto written = static_cast<unsigned int>(output->write(buffer, count));
    if (written != count) setError(error, EIO);
    return written;
  }
  int failure = 0;
  auto written =
      static_cast<unsigned int>(platform::runtimeWrite(runtimeFile(file), buffer, count, failure));
  if (written != count) setError(error, failure);
  return written;
}

int cabinetClose(std::intptr_t file, int* error, void* context) {
  if (CabinetOutput* output = cabinetOf(context, file)) {
    // Complete as far as the writer knows; it takes the name once the builder commits it.
    output->close();
    return 0;
  }
  int failure = 0;
  int result = platform::runtimeClose(runtimeFile(file), failure);
  if (result != 0) setError(error, failure);
  return result;
}

std::int32_t cabinetSeek(std::intptr_t file, std::int32_t distance, int origin, int* error,
                         void* context) {
  if (CabinetOutput* output = cabinetOf(context, file)) {
    std::int32_t position = output->seek(distance, origin);
    if (position == -1) setError(error, EINVAL);
    return position;
  }
  int failure = 0;
  std::int32_t position = platform::runtimeSeek(runtimeFile(file), distance, origin, failure);
  if (position == -1) setError(error, failure);
  return position;
}

int cabinetDelete(char* name, int* error, void* context) {
  auto* output = static_cast<CabinetOutput*>(context);
  if (output && name && output->isCabinet(name)) {
    // The cabinet the writer could not finish: only the new file goes, never the name's own.
    output->discard();
    return 0;
  }
  // A temporary already without its name: the name may be someone else's by now.
  if (output && output->takeUnnamed(name)) return 0;
  int failure = 0;
  int result = platform::runtimeRemove(name, failure);
  if (result != 0) setError(error, failure);
  return result;
}

int cabinetTempName(char* name, int capacity, void* context) {
  std::string made;
  if (!platform::createTempFile("xx", made)) return 0;
  if (capacity > 0 && made.size() < static_cast<std::size_t>(capacity)) {
    std::memcpy(name, made.c_str(), made.size() + 1);
    if (context) static_cast<CabinetOutput*>(context)->rememberTemporaryName(name);
    return 1;
  }
  platform::removeFile(made.c_str());
  return 0;
}

int cabinetFilePlaced(CCAB*, char*, std::int32_t, int, void*) { return 0; }

std::int32_t cabinetStatus(unsigned int, std::uint32_t, std::uint32_t, void*) { return 0; }

int cabinetNextCabinet(CCAB*, std::uint32_t, void*) { return 1; }

std::intptr_t cabinetOpenInfo(char* name, std::uint16_t* date, std::uint16_t* time,
                              std::uint16_t* attributes, int*, void*) {
  platform::FileHandle file = platform::openFileForReading(name);
  if (file == platform::kInvalidFile) return -1;
  if (!platform::lastWriteDosDateTime(file, *date, *time)) {
    platform::closeFile(file);
    return -1;
  }
  std::uint32_t found = 0;
  *attributes = platform::fileAttributes(name, found)
                    ? static_cast<std::uint16_t>(found & kKeptAttributes)
                    : 0;
  platform::closeFile(file);
  int ignored = 0;
  return platform::runtimeOpen(name, platform::kRuntimeReadOnly | platform::kRuntimeBinary, 0,
                               ignored);
}
