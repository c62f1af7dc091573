// Replacing a file: the steps by which a file is written so that a failure never costs the file
// that was there. The new contents go to a new file beside it, which takes its place in one step
// once complete. The library's replacement file puts them together and chooses, by the fault a
// step reports, what to do next; these are the system's parts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform {

// Why a step failed.
enum class FileFault {
  kNone,
  kRefused,       // the name may not be written as it stands: not an ordinary file, a file this
                  // process may not write, a link or a file the system's protections refuse, a
                  // folder that does not exist
  kNoSpace,       // the disk, or this user's share of it, is full
  kNotPermitted,  // the folder takes no new file from this process, or will not let it replace
                  // the name (a sticky folder and another user's file)
  kCrossDevice,   // the name and its folder are on different file systems (a file mounted over)
  kChanged,       // the name no longer stands for the file that was found or read
  kFailed,        // anything else the system reports
};

// A few words for the fault, for traces ("no space", "changed meanwhile").
const char* fileFaultText(FileFault fault);

// What tells one state of a file from another: the file itself (device and number), its size
// and the time of its last change of contents or attributes. Equal identities: the same file,
// and nobody has written it in between (as far as the system's clock resolution tells).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::int64_t size = -1;
  std::int64_t changeSeconds = 0;
  std::int64_t changeNanoseconds = 0;
  bool operator==(const FileIdentity& other) const {
    return device == other.device && file == other.file && size == other.size &&
           changeSeconds == other.changeSeconds && changeNanoseconds == other.changeNanoseconds;
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// The identity of an open file; false when it cannot be read.
bool fileIdentity(FileHandle file, FileIdentity& identity);

// Where the replacement of a name goes, as found by findReplacementTarget; released with
// releaseReplacementTarget. The texts are in the system's own form of names.
struct ReplacementTarget {
  std::string path;    // the file to replace, as the system resolved the name
  std::string folder;  // the folder that holds it, where the new file is made
  bool exists = false;
  bool linked = false;    // the file has further names (hard links), which a new file would lose
  FileIdentity identity;  // of the existing file, as found
  // The system's own hold on the target and its folder, where it keeps one (invalid elsewhere).
  FileHandle handle = kInvalidFile;
  FileHandle folderHandle = kInvalidFile;
};

// Finds what a write to `name` must replace, by opening it as any program writing the name
// would (without cutting it): the system resolves symbolic links with its own protections, and
// the file it opens is the target, so a link stays a link and its file gets the new contents.
// kRefused for a name that stands for something other than an ordinary file (a device, a pipe,
// a directory, a socket), for a file that may not be written, and wherever the system refuses
// the open: such a name is never written. A name that does not exist (or a link that leads to
// nothing, where the system would follow it to create its file) is a new file in its folder.
FileFault findReplacementTarget(const char* name, ReplacementTarget& target);

// Lets go of what findReplacementTarget holds; the target itself is left as it is.
void releaseReplacementTarget(ReplacementTarget& target);

// Creates a new, empty file for the target's new contents in the target's folder, open for
// reading and writing. Where the system allows it the file has no name until placeSibling gives
// it one (`sibling` is then empty), so a process that dies meanwhile leaves nothing; otherwise it
// gets a fresh short name that fits beside any base name. It never grants more than the target:
// for an existing target it is made with the target's permission bits (never more, whatever the
// umask), then given its owner and group where this process may set them, its access control
// list and its extended attributes, before anything is written; a new name gets what any new
// file gets (the umask, or the folder's default access control list). Where this process may not
// give the new file the target's owner, group, access control list or user attributes, none is
// made (kNotPermitted). Not carried over: attributes outside the user namespace (security labels,
// which the system gives each new file itself, and the administrator's trusted ones), the times,
// and the file's identity itself (another file's hard links or open descriptors keep the old
// one: the writer writes a file with further names in place). The invalid handle on failure,
// with `fault` saying why (kNotPermitted: the folder takes no new file from this process, or the
// new file could not keep what the target has).
FileHandle createSibling(const ReplacementTarget& target, std::string& sibling, FileFault& fault);

// kNone when the target's name still stands for the file found (same identity) or, for a new
// name, still for nothing; kChanged otherwise.
FileFault checkTargetUnchanged(const ReplacementTarget& target);

// Puts the sibling, complete, in the place of the target in one step, and closes it (`file` is
// then invalid whatever the outcome). The file is made durable before it takes the name and the
// folder after; a new name is taken only while nothing else has it. Before the step it checks
// that the target is unchanged. kNone on success; otherwise the target is as it was and the
// sibling gone or, when named, still to be removed with removeSibling.
FileFault placeSibling(FileHandle& file, const std::string& sibling,
                       const ReplacementTarget& target);

// Removes a named sibling made by createSibling; nothing else is ever removed through it.
void removeSibling(const std::string& sibling);

// Makes everything written to the file durable on its disk; false on failure.
bool flushFile(FileHandle file);

// Opens the existing target for writing over it in place, without truncating it and without
// waiting (for a target that no new file may replace); the invalid handle when it is no longer
// the ordinary file it was, or may not be written. The caller closes it.
FileHandle openTargetInPlace(ReplacementTarget& target);

// Makes sure that the first `length` bytes of the file have room on the disk, without changing
// its contents or its length: afterwards writing them cannot fail for want of space. kNoSpace
// when there is no room; kNone also where the system cannot reserve but the file already has
// that length.
FileFault reserveFileSpace(FileHandle file, std::uint64_t length);

// Sets the length of an open file, cutting or extending it; false on failure.
bool setFileLength(FileHandle file, std::uint64_t length);

// A new file without a name, held in memory (or where the system keeps such files), gone when it
// is closed; the invalid handle when none can be had.
FileHandle createScratchFile();

}  // namespace platform
