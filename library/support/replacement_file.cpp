#include "library/support/replacement_file.h"

#include "library/support/reporting.h"

using platform::FileFault;

bool ReplacementFile::create(const char* name, const platform::FileIdentity* read) {
  discard();
  name_ = name ? name : "";
  fault_ = FileFault::kNone;
  FileFault found = platform::findReplacementTarget(name_.c_str(), target_);
  if (found != FileFault::kNone) return fail(found);
  if (read && (!target_.exists || target_.identity != *read)) return fail(FileFault::kChanged);
  // Further names of the file must keep seeing it: only writing over it does that.
  if (target_.linked) return startInPlace();
  FileFault made = FileFault::kNone;
  file_ = platform::createSibling(target_, sibling_, made);
  if (file_ != kInvalidHandle) return true;
  // A folder that takes no new file, or a new file that could not keep what the target has.
  if (made == FileFault::kNotPermitted && target_.exists) return startInPlace();
  return fail(made);
}

bool ReplacementFile::startInPlace() {
  inPlace_ = true;
  file_ = platform::createScratchFile();
  return file_ != kInvalidHandle || fail(FileFault::kFailed);
}

bool ReplacementFile::commit() {
  if (file_ == kInvalidHandle) return false;
  if (inPlace_) {
    bool written = writeInPlace(file_);
    discard();
    return written;
  }
  FileFault placed = platform::placeSibling(file_, sibling_, target_);
  if (placed == FileFault::kNone) {
    sibling_.clear();
    discard();
    return true;
  }
  // The folder will not let this process replace the name (a sticky folder, another user's
  // file), or the name is a file mounted over: the same contents go over the target in place.
  bool written = false;
  if ((placed == FileFault::kNotPermitted || placed == FileFault::kCrossDevice) && target_.exists &&
      file_ != kInvalidHandle) {
    written = writeInPlace(file_);
  } else {
    fail(placed);
  }
  discard();
  return written;
}

void ReplacementFile::discard() {
  if (file_ != kInvalidHandle) platform::closeFile(file_);
  file_ = kInvalidHandle;
  platform::removeSibling(sibling_);
  sibling_.clear();
  platform::releaseReplacementTarget(target_);
  inPlace_ = false;
}

bool ReplacementFile::fail(FileFault fault) {
  fault_ = fault;
  traceMessage("Cannot create file: ", name_.c_str());
  if (fault != FileFault::kRefused) traceMessage("because: ", platform::fileFaultText(fault));
  return false;
}

bool ReplacementFile::writeInPlace(FileHandle contents) {
  FileFault unchanged = platform::checkTargetUnchanged(target_);
  if (unchanged != FileFault::kNone) return fail(unchanged);
  std::int64_t length = platform::fileSize(contents);
  if (length < 0) return fail(FileFault::kFailed);
  FileHandle target = platform::openTargetInPlace(target_);
  if (target == kInvalidHandle) return fail(FileFault::kRefused);
  // All the room first: a disk that cannot take the new contents leaves the old ones whole.
  FileFault reserved = platform::reserveFileSpace(target, static_cast<std::uint64_t>(length));
  if (reserved != FileFault::kNone) {
    platform::closeFile(target);
    return fail(reserved);
  }
  std::uint8_t buffer[16384];
  std::uint64_t offset = 0;
  bool written = platform::seekFile(target, 0, 0) == 0;
  while (written) {
    std::int64_t got = platform::readFileAt(contents, buffer, sizeof buffer, offset);
    if (got <= 0) {
      written = got == 0;
      break;
    }
    for (std::int64_t done = 0; done < got && written;) {
      std::int32_t put = writeBytes(target, buffer + done, static_cast<std::int32_t>(got - done));
      if (put <= 0) written = false;
      done += put;
    }
    offset += static_cast<std::uint64_t>(got);
  }
  written = written && platform::setFileLength(target, offset) && platform::flushFile(target);
  written = platform::closeFile(target) && written;
  return written || fail(FileFault::kFailed);
}
