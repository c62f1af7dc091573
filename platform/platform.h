// The platform layer: the operating system's services in the system's own terms.
//
// Everything above this header is portable; only the files under platform/<os>/ include
// operating-system headers. Every name of a file and every text handed to these functions, or
// returned by them, is UTF-8 (the system's 8-bit texts are converted where they enter, see
// latin1_text.h); each implementation gives them to its operating system in its own form.
//
// Two services can be swapped by tests for recording fakes: the message service (message boxes
// and diagnostic traces) and the memory service (the heap behind every allocation). The setters
// are in platform/testing/platform_testing.h, which only test programs can include.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/common/runtime_flags.h"

namespace platform {

// ---------------------------------------------------------------------------------------------
// Files

// An open file. The invalid handle, returned by every failed open or create, has all bits set;
// every other value is an open file.
using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

// Opens an existing ordinary file for reading. Nothing is waited for: a pipe, a device, a
// directory or a socket is refused as soon as it is seen, never opened in a way that would block.
// The invalid handle when the name is missing, names no ordinary file, or cannot be opened.
FileHandle openFileForReading(const char* name);

// One read or write request, without retry. The byte count (short at the end of the file), or -1
// when the operating system reports a failure.
std::int64_t readFile(FileHandle file, void* destination, std::size_t count);
std::int64_t writeFile(FileHandle file, const void* source, std::size_t count);

// One read request at `offset` from the start of the file, leaving the file's position alone.
std::int64_t readFileAt(FileHandle file, void* destination, std::size_t count,
                        std::uint64_t offset);

// Moves the file's position to `distance` from the origin (0 start, 1 current, 2 end); the new
// position, or -1 when it cannot be moved there (a negative position is never taken).
std::int64_t seekFile(FileHandle file, std::int64_t distance, int origin);

// The file's size in bytes, or -1.
std::int64_t fileSize(FileHandle file);

// Closes the file; false when the system reports that what was written may not have reached it
// (some file systems only tell at the close).
bool closeFile(FileHandle file);

// Removes a file; false when it could not be removed.
bool removeFile(const char* name);

// The name as the operating system's calls take it here: the name itself (names are UTF-8 on
// both sides of this layer; the Windows layer widens them to UTF-16 for each call).
std::string nativeName(const char* name);

// ---------------------------------------------------------------------------------------------
// Replacing a file
//
// The steps by which a file is written so that a failure never costs the file that was there:
// the new contents go to a new file beside it, which takes its place in one step once complete.
// The library's replacement file puts them together and chooses, by the fault a step reports,
// what to do next; these are the system's parts.

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
FileFault placeSibling(FileHandle& file, const std::string& sibling, const ReplacementTarget& target);

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

// ---------------------------------------------------------------------------------------------
// Names

// `name` as seen from `folder`: the name itself when it is absolute or the folder
// is empty, else the folder and the name joined by one separator. What the name would mean with
// the folder current, without making it current.
std::string joinedName(const char* folder, const char* name);

// The system directory that started programs get as their working directory.
std::string systemDirectory();

// ---------------------------------------------------------------------------------------------
// Memory

// The heap behind every allocation of the system. Tests swap it for one that fails on demand.
class MemoryService {
 public:
  virtual ~MemoryService() = default;
  // A block of `size` bytes, zero-filled when asked; null when none is available.
  virtual void* allocate(std::size_t size, bool zeroFill) = 0;
  // The block resized, its first bytes kept, new bytes undefined; null on failure (the old block
  // then stays valid). A null block behaves as allocate without zero fill.
  virtual void* reallocate(void* block, std::size_t size) = 0;
  virtual void release(void* block) = 0;
};

MemoryService& memory();

// ---------------------------------------------------------------------------------------------
// Messages

// Where messages for the user and diagnostic texts go. Tests swap it for a recording fake.
class MessageService {
 public:
  virtual ~MessageService() = default;
  // A modal error message box with one OK button; returns when the user has closed it.
  virtual void showError(const char* caption, const char* text) = 0;
  // A diagnostic text; the real service discards it.
  virtual void trace(const char* text) = 0;
  // As showError, but owned by the calling thread's active window when it has one (the
  // launcher's messages). Where windows have no owners, the same as showError.
  virtual void showOwnedError(const char* caption, const char* text) { showError(caption, text); }
};

MessageService& messages();

// ---------------------------------------------------------------------------------------------
// Clipboard

// The desktop's clipboard. Open it, empty it, put zero-terminated text on it, close it.
class Clipboard {
 public:
  Clipboard() = default;
  ~Clipboard();
  Clipboard(const Clipboard&) = delete;
  Clipboard& operator=(const Clipboard&) = delete;

  // False when there is no desktop session or no program to reach its clipboard.
  bool open();
  // Discards the previous contents (they are gone once the clipboard is closed).
  void empty();
  // Places `length` bytes of UTF-8 text; false when the clipboard did not take them.
  bool setText(const char* text, std::size_t length);
  // Releases the clipboard; an emptied clipboard with no new text is left empty.
  void close();

 private:
  bool open_ = false;
  bool emptied_ = false;
  bool textSet_ = false;
};

// ---------------------------------------------------------------------------------------------
// Documents and programs
//
// Opening a document with its program takes two steps: the look-up makes the command that
// opens the document, and the start runs that command in a working directory of the caller's
// choosing, without waiting for it and without changing the caller's own current directory.
//
// How the command is made differs between the systems:
// - Windows: FindExecutable names the program associated with the document (the directory is
//   the default directory of the look-up), and the command is the command line of that program
//   and the document's full path, quoted by the rules that CommandLineToArgvW and the C
//   runtime read back, so that the program gets the document as one argument. (The documents'
//   "%s %s", neither quoted, split a path with a space into several words.)
// - Here: the desktop's own choice, as GIO makes it for `gio open`: the document's type as GIO
//   tells it from the name and the first bytes, and the default application for that type
//   (mimeapps.list in the desktop's order, desktop-specific lists first, added and removed
//   associations, defaults naming a missing entry passed over, the parent types of a type
//   tried next). The command is the application's whole Exec line, split into words by the
//   desktop entry rules with its field codes expanded as GIO expands them: the first of %f %F
//   %u %U the document's path (a URI only for an entry marked X-GIO-NoFuse), %i, %c and %k the
//   entry's icon, name and location, %% one "%"; a line without a document code gets the
//   document as its last word. An entry with Terminal=true runs inside the first terminal
//   program GIO would take; an entry's Path is the program's working directory. Each word is
//   one argument of the program; no command interpreter sees them.
// What differs: here the document reaches the program as its absolute path (or that path's
// URI), on Windows always as its full path; on both, as one argument, never split at a space.
// Here no program is found for a document that does not exist, for an Exec line that breaks
// the desktop entry rules in a way that could make the document's name part of a command (a
// single quote or backslash outside double quotes, any reserved character unquoted, a document
// code inside quotes or in a word with a quoted part, an unknown field code, a field code in
// the program's own word) although GIO would start it, or for a Terminal=true entry when no
// terminal program is installed.

// The command that opens one document with its program, as findProgramForDocument made it.
struct DocumentCommand {
  // The command in the form this system starts programs in (UTF-8): on Windows one part, the
  // command line; here the program's full path and then its arguments, one part each. Empty
  // when no program is known for the document.
  std::vector<std::string> parts;
  // Where the program asks to be started; empty when it leaves that to the caller.
  std::string workingDirectory;
  // "NAME=value" texts the program gets in its environment besides the caller's.
  std::vector<std::string> environment;
};

// The command that opens `document` with the program associated with its type; empty when
// none is known. `directory` is where a relative document name is looked up first; elsewhere a
// relative name is taken from the current directory.
DocumentCommand findProgramForDocument(const char* document, const char* directory);

// Starts `command` with `workingDirectory` as the started program's own working directory
// unless the command names its own, without waiting for it; the caller's current directory is
// not changed. False when the command is empty or could not be started.
bool startProgram(const DocumentCommand& command, const std::string& workingDirectory);

// Opens the document with the desktop's default action (here xdg-open, handed the document's
// absolute path); a relative name is looked up as findProgramForDocument does. False when that
// could not start.
bool openWithDefaultAction(const char* document, const char* directory);

// ---------------------------------------------------------------------------------------------
// Modules

using ModuleHandle = void*;

// Loads a module by the system's name for it ("CABINET" is the cabinet library, the system's own
// or the writer module that stands in for it); null on failure.
ModuleHandle loadModule(const char* name);
void* findSymbol(ModuleHandle module, const char* symbol);
void freeModule(ModuleHandle module);

// The folder of the module (executable or shared library) that holds `address`, without a
// trailing separator; empty when unknown.
std::string moduleFolder(const void* address);

}  // namespace platform

// ---------------------------------------------------------------------------------------------
// Runtime files, file dates and attributes, temporary files (the cabinet writer's callbacks)

namespace platform {

// Low-level file operations with the C runtime's conventions, for components that expect them
// through callbacks. Flags and permission modes are the original platform's runtime values
// (platform/common/runtime_flags.h), translated here. Each returns the runtime's result (-1, or
// a short count, on failure) and, when it fails, stores the error number in `error`.
//
// A runtime descriptor is the C runtime's, not a FileHandle: the two are different things on
// some systems and never stand for each other. The invalid descriptor is -1; 0 is a descriptor
// like any other.
using RuntimeFile = int;
constexpr RuntimeFile kInvalidRuntimeFile = -1;

// Opens without waiting for anything and only ordinary files: a pipe, a device or a directory
// fails with the error number of an unsuitable file (a name that is not a regular file).
RuntimeFile runtimeOpen(const char* name, int flags, int mode, int& error);
std::int64_t runtimeRead(RuntimeFile file, void* destination, std::size_t count, int& error);
std::int64_t runtimeWrite(RuntimeFile file, const void* source, std::size_t count, int& error);
int runtimeClose(RuntimeFile file, int& error);
// Moves to `distance` from the origin (0 start, 1 current, 2 end); the new position, or -1. As
// with the runtime's 32-bit seek, a position past 2^31 - 1 cannot be reported and fails.
std::int32_t runtimeSeek(RuntimeFile file, std::int32_t distance, int origin, int& error);
int runtimeRemove(const char* name, int& error);

// The file's last write as a local DOS date and time (2-second steps; times before 1980 are
// given as 1980-01-01 00:00:00, times after 2107 as 2107-12-31 23:59:58). False when the file's
// information cannot be read.
bool lastWriteDosDateTime(FileHandle file, std::uint16_t& date, std::uint16_t& time);

// File attributes in the original platform's bits.
constexpr std::uint32_t kAttributeReadOnly = 0x01;
constexpr std::uint32_t kAttributeHidden = 0x02;
constexpr std::uint32_t kAttributeSystem = 0x04;
constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeArchive = 0x20;

// The attributes of the named file in the bits above; false when it cannot be examined. A system
// that keeps no such bits derives them from what it does keep (its implementation says how).
bool fileAttributes(const char* name, std::uint32_t& attributes);

// A unique name starting with `prefix` in the system's temporary folder, for a
// temporary file that the caller opens with create and removes when done. Where the caller's
// open is not exclusive, the call has already created the file, empty and private, so that no
// other program can put one there first; where the system's own callers create it exclusively,
// the name is left free for them. False when no name could be had.
bool createTempFile(const char* prefix, std::string& name);

}  // namespace platform

// ---------------------------------------------------------------------------------------------
// Launcher services: the program's own folder, threads, thread message queues, the Java VM
// module and ending the process.

namespace platform {

// The folder that holds the running program's own file, as the operating system names it,
// without a trailing separator. Taken from the file itself, never from the name the program was
// started by: a start through a symbolic link (absolute or relative) or with another argument 0
// gives the folder of the real file. Empty when it cannot be told.
std::string executableFolder();

// The services that the Java VM's host must start on its thread before it creates the VM (the
// component object services on Windows) and end after it has released it; nothing elsewhere.
// False when they cannot be started; each successful start is ended once.
bool startVmHostServices();
void endVmHostServices();

// Makes current a folder (as moduleFolder returns it); false on failure. For the launcher's own
// start, before any Java runs: the current directory belongs to every thread of the process, and
// the library never changes it.
bool setCurrentDirectoryNative(const std::string& folder);

// Thread ids: small numbers of the system's own, never 0, unique for the life of the process.
using ThreadId = std::uint32_t;
ThreadId currentThreadId();

// Thread message queues. Each thread has one, made when first needed. The only message the
// system posts is the quit message.
constexpr std::uint32_t kQuitMessage = 0x0012;
struct ThreadMessage {
  std::uint32_t message = 0;
  std::intptr_t first = 0;
  std::intptr_t second = 0;
};

// Appends a message to the queue of the thread `thread`; false when there is no such thread.
bool postThreadMessage(ThreadId thread, std::uint32_t message, std::intptr_t first = 0,
                       std::intptr_t second = 0);

// Waits for the calling thread's next message and takes it off the queue. False when it is the
// quit message, true for any other.
bool getMessage(ThreadMessage& message);

// Threads with an explicit stack size and a bounded wait.
struct ThreadState;
using ThreadHandle = ThreadState*;
using ThreadRoutine = std::uint32_t (*)(void* argument);

// Starts `routine(argument)` on a new thread with a stack of `stackSize` bytes; its result is the
// thread's exit code. Null when the thread could not be created.
ThreadHandle startThread(ThreadRoutine routine, void* argument, std::size_t stackSize);

enum class WaitResult { kEnded, kTimedOut, kFailed };
// Waits at most `milliseconds` for the thread to end.
WaitResult waitForThread(ThreadHandle thread, std::uint32_t milliseconds);

// The exit code of a thread that has ended; false while it runs.
bool threadExitCode(ThreadHandle thread, std::uint32_t& code);

// Gives up the handle. A thread that still runs goes on running and cleans up after itself.
void closeThread(ThreadHandle thread);

// How many processors the calling thread may run on: the set the process was confined to (by
// an affinity setting, a container's processor set), not the machine's count. At least 1.
unsigned usableProcessorCount();

// A Java VM's library, loaded: first the one of the runtime bundled beside the program (the
// folder "runtime" in executableFolder(), laid out as a JDK: lib/server/libjvm.so,
// bin\server\jvm.dll), then the installed one: the one under JAVA_HOME, else the one of the Java
// installation that the `java` program on PATH belongs to (symbolic links followed), else the one
// under /usr/lib/jvm/default-java. On Windows: JAVA_HOME, then the installation registered in
// HKLM\SOFTWARE\JavaSoft (JDK, then JRE, then their names before version 9: the
// CurrentVersion's JavaHome, in the registry view of this program's width), then the one of the
// java.exe on PATH. A candidate that cannot be loaded, or that lacks the function
// `entryPoint`, is passed over for the next one. Null when none will do; `looked` then holds one
// line per place looked in, in order, each saying what was found there (for the user).
ModuleHandle loadJavaVmModule(const char* entryPoint, std::vector<std::string>& looked);

// The file name of the Java VM's library, for telling the user what was looked for ("libjvm.so",
// "jvm.dll").
const char* javaVmLibraryName();

// Ends the process at once with `status` (the low 8 bits reach the parent): standard output and
// error are flushed, nothing else runs, and threads still running end with the process.
[[noreturn]] void endProcess(int status);

}  // namespace platform
