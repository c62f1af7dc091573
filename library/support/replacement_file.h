// ReplacementFile: the one way this library writes a file.
//
// The new contents go to a new file beside the target (in the same folder, under a short
// temporary name), which takes the target's place in one step once it is complete: until then
// anyone reading the target's name gets the old file, afterwards the new one, and a failure at
// any point leaves the target exactly as it was and nothing of the attempt behind.
//
// - Through a symbolic link, the file the link ends at is replaced and the link stays.
// - A name that stands for something other than an ordinary file (a device, a pipe, a directory)
//   or for a file that may not be written is refused: it is never truncated, written or removed.
// - Only names the replacement itself made are ever removed.
// - The new file keeps the permission bits, and where this process may set them the owner and
//   group, of the file it replaces (see platform::createSibling for what other hard links get).
// - When the folder takes no new file but the target exists and may be written, the contents
//   are gathered in memory first and written over the target only at commit, so that nothing
//   but a failing write to the target itself can cut it.
//
// Writers write through file() with the file helpers (which show "Cannot write file" for a
// failed write) and then commit; an object destroyed without commit discards what was written.
// One replacement belongs to one call on one thread.
#pragma once

#include <string>

#include "library/support/file_helpers.h"

class ReplacementFile {
 public:
  ReplacementFile() = default;
  ~ReplacementFile() { discard(); }
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Starts replacing the named file (Latin-1). False, with "Cannot create file: " and the name
  // traced and nothing created or changed, when the name is refused (see above) or no file for
  // the new contents can be made.
  bool create(const char* name);

  // Where the new contents are written; the invalid handle before create and after commit or
  // discard.
  FileHandle file() const { return file_; }

  // Puts the written contents in the target's place. False when that failed ("Cannot create
  // file: " and the name traced; "Cannot write file" shown when writing over the target in place
  // failed, the only case that can leave the target cut); the target is then as it was and the
  // new file gone.
  bool commit();

  // Gives up what was written: the new file is removed, the target is untouched.
  void discard();

 private:
  bool fail();
  bool writeInPlace();

  std::string name_;  // the caller's name, for the trace
  platform::ReplacementTarget target_;
  std::string sibling_;  // the new file beside the target; empty when writing in place
  FileHandle file_ = kInvalidHandle;
};
