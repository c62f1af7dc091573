// ReplacementFile: the one way this library writes a file.
//
// The new contents go to a new file beside the target (in the same folder, without a name where
// the system allows it), which takes the target's place in one step once it is complete: until
// then anyone reading the target's name gets the old file, afterwards the new one, and a failure
// at any point leaves the target exactly as it was and nothing of the attempt behind, also when
// the process is killed.
//
// - The name is resolved by the system with its own protections, as any program writing it would
//   open it: through a symbolic link the file the link ends at is replaced and the link stays.
// - A name that stands for something other than an ordinary file (a device, a pipe, a directory)
//   or for a file that may not be written is refused: it is never truncated, written or removed.
// - The new file never grants more than the target: it has the target's permission bits, owner,
//   group, access control list and extended attributes before any content reaches it (see
//   platform::createSibling).
// - Where no new file can take the target's place as it is (the folder takes no new file, the
//   folder will not let this process replace the name, the file has further hard links that
//   must keep seeing it, or an owner, group or attribute the new file could not keep), the
//   contents are gathered apart and written over the target at commit, and only once the room
//   for all of them is reserved on the disk: a full disk leaves the target as it was. Only a
//   failing write after that (a disk error) can cut it.
// - Nothing is replaced when the target is no longer the file found at create (or the one the
//   caller read, when it names it): a version saved meanwhile is kept, the commit fails.
// - The new file is on the disk before it takes the name, and the folder after.
//
// Writers write through file() with the file helpers (which show "Cannot write file" for a
// failed write) and then commit; an object destroyed without commit discards what was written.
// Every failure traces "Cannot create file: " and the name, and then, unless the name was
// simply refused, a line with the reason ("because: no space"). One replacement belongs to one
// call on one thread.
#pragma once

#include <string>

#include "library/support/file_helpers.h"

class ReplacementFile {
 public:
  ReplacementFile() = default;
  ~ReplacementFile() { discard(); }
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Starts replacing the named file (UTF-8, as every name crossing the platform layer). `read`,
  // when given, is the identity of the file the caller read to make the new contents: the target
  // must still be that file, here and at commit. False, with the failure traced and nothing created
  // or changed, when the name is refused (see above), the target is not the file read, or no file
  // for the new contents can be made.
  bool create(const char* name, const platform::FileIdentity* read = nullptr);

  // Where the new contents are written; the invalid handle before create and after commit or
  // discard.
  FileHandle file() const { return file_; }

  // Puts the written contents in the target's place. False when that failed (traced; "Cannot
  // write file" shown when writing over the target in place failed after its room was reserved,
  // the only case that can leave the target cut); the target is then as it was and the new file
  // gone.
  bool commit();

  // Gives up what was written: the new file is removed, the target is untouched.
  void discard();

  // Why the last create or commit failed (kNone when it did not).
  platform::FileFault fault() const { return fault_; }

 private:
  bool fail(platform::FileFault fault);
  bool startInPlace();
  bool writeInPlace(FileHandle contents);

  std::string name_;  // the caller's name, for the trace
  platform::ReplacementTarget target_;
  std::string sibling_;   // the named new file beside the target; empty when it has no name
  bool inPlace_ = false;  // file_ is a scratch file, written over the target at commit
  FileHandle file_ = kInvalidHandle;
  platform::FileFault fault_ = platform::FileFault::kNone;
};
