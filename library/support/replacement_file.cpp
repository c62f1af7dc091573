#include "library/support/replacement_file.h"

#include "library/support/reporting.h"

bool ReplacementFile::create(const char* name) {
  discard();
  name_ = name ? name : "";
  target_ = platform::ReplacementTarget{};
  if (!platform::findReplacementTarget(name_.c_str(), target_)) return fail();
  bool refused = false;
  file_ = platform::createSibling(target_, sibling_, refused);
  if (file_ == kInvalidHandle && refused && target_.exists) {
    // A folder that takes no new file, holding a file that may be written: the contents are
    // gathered apart and written over the file at commit.
    sibling_.clear();
    file_ = platform::createScratchFile();
  }
  return file_ != kInvalidHandle || fail();
}

bool ReplacementFile::commit() {
  if (file_ == kInvalidHandle) return false;
  if (sibling_.empty()) {
    bool written = writeInPlace();
    platform::closeFile(file_);
    file_ = kInvalidHandle;
    return written || fail();
  }
  // What replaces an existing file must be on the disk before the name moves to it, or a crash
  // just after could leave the name with neither the old contents nor the new ones. A new name
  // has nothing to lose.
  bool complete = !target_.exists || platform::flushFile(file_);
  complete = platform::closeFile(file_) && complete;
  file_ = kInvalidHandle;
  if (!complete || !platform::moveSiblingInPlace(sibling_, target_)) {
    platform::removeSibling(sibling_);
    sibling_.clear();
    return fail();
  }
  sibling_.clear();
  return true;
}

void ReplacementFile::discard() {
  if (file_ != kInvalidHandle) platform::closeFile(file_);
  file_ = kInvalidHandle;
  platform::removeSibling(sibling_);
  sibling_.clear();
}

bool ReplacementFile::fail() {
  traceMessage("Cannot create file: ", name_.c_str());
  return false;
}

bool ReplacementFile::writeInPlace() {
  FileHandle target = platform::openTargetInPlace(target_);
  if (target == kInvalidHandle) return false;
  std::uint8_t buffer[16384];
  std::uint64_t offset = 0;
  bool written = true;
  for (;;) {
    std::int64_t got = platform::readFileAt(file_, buffer, sizeof buffer, offset);
    if (got <= 0) {
      written = got == 0;
      break;
    }
    for (std::int64_t done = 0; done < got && written;) {
      std::int32_t put = writeBytes(target, buffer + done, static_cast<std::int32_t>(got - done));
      if (put <= 0) written = false;
      done += put;
    }
    if (!written) break;
    offset += static_cast<std::uint64_t>(got);
  }
  written = written && platform::setFileLength(target, offset) && platform::flushFile(target);
  written = platform::closeFile(target) && written;
  return written;
}
