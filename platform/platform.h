// The platform layer: the operating system's services in the system's own terms.
//
// Everything above this header is portable; only the files under platform/<os>/ include
// operating-system headers. Names of files and other 8-bit texts handed to these functions are
// Latin-1 (one byte per character, as the Java boundary produces them); the layer converts them
// to what the operating system expects (each implementation says how).
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

// The name converted for the operating system.
std::string nativeName(const char* name);

// ---------------------------------------------------------------------------------------------
// Replacing a file
//
// The steps by which a file is written so that a failure never costs the file that was there:
// the new contents go to a new file beside it, which takes its place in one step once complete.
// The library's replacement file puts them together; these are the system's parts.

// Where the replacement of a name goes, as found by findReplacementTarget. The texts are in the
// system's own form of names.
struct ReplacementTarget {
  std::string path;    // the file to replace: the name with every symbolic link followed
  std::string folder;  // the folder that holds it, where the new file is made
  bool exists = false;
};

// Follows `name` through its symbolic links to the file that a write must replace, so that a
// link stays a link and its target gets the new contents. False when that file exists but is
// not an ordinary file (a device, a pipe, a directory, a socket), when it may not be written, or
// when the links cannot be followed (a loop, an unreadable link): such a name is never written.
bool findReplacementTarget(const char* name, ReplacementTarget& target);

// Creates a new, empty file in the target's folder under a fresh short name that fits beside any
// base name, open for reading and writing. The process's umask applies as for any new file (the
// file is created exclusively with the usual permissions, and under a new name again when the
// name was taken); when the target exists, the new file then takes its permission bits and,
// where this process may set them, its owner and group. `sibling` receives its name. The invalid
// handle when no file could be made; `refused` then tells whether the folder does not let this
// process make files in it (rather than, say, a full disk).
//
// A target with further hard links: the name that is replaced gets the new file; the other
// names keep the old contents, as a file written anew under one name does.
FileHandle createSibling(const ReplacementTarget& target, std::string& sibling, bool& refused);

// Makes everything written to the file durable on its disk; false on failure.
bool flushFile(FileHandle file);

// Puts the sibling in the place of the target in one step: from then on the target's name gives
// the new contents, and before it the old ones. False on failure, nothing changed.
bool moveSiblingInPlace(const std::string& sibling, const ReplacementTarget& target);

// Removes a sibling made by createSibling; nothing else is ever removed through it.
void removeSibling(const std::string& sibling);

// Opens the existing target for writing over it in place, without truncating it and without
// waiting (for a folder that takes no new file); the invalid handle when it is no longer the
// ordinary file it was, or may not be written.
FileHandle openTargetInPlace(const ReplacementTarget& target);

// Sets the length of an open file, cutting or extending it; false on failure.
bool setFileLength(FileHandle file, std::uint64_t length);

// A new file without a name, held in memory (or where the system keeps such files), gone when it
// is closed; the invalid handle when none can be had.
FileHandle createScratchFile();

// ---------------------------------------------------------------------------------------------
// Names

// `name` as seen from `folder` (both Latin-1): the name itself when it is absolute or the folder
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

// The desktop's clipboard. Open it, empty it, put zero-terminated 8-bit text on it, close it.
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
  // Places `length` bytes of Latin-1 text; false when the clipboard did not take them.
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
// - Here: the document's type and its default application come from the desktop's MIME
//   associations (xdg-mime), and the command is the whole Exec line of the application's
//   desktop entry, split into words by the desktop entry quoting rules and with
//   its field codes expanded: %f and %F the document, %u and %U its file:// URI, %i, %c and %k
//   the entry's icon, name and location, %% one "%"; deprecated codes are dropped, and a line
//   without %f %F %u %U gets the document as its last word. Each word is one argument of the
//   program; no command interpreter sees them.
// What differs: here the document reaches the program as its absolute path or that path's URI,
// on Windows always as its full path; on both, as one argument, never split at a space. Here
// no program is found for a document that does not exist, for an entry marked hidden (it
// stands for a deleted one) or whose TryExec program is not installed, or for an Exec line
// that must not be run (an unknown field code, a field code in the program's own word, or the
// document inside a quoted word, where it could become part of a script); an entry's
// NoDisplay mark plays no part. The entry's Path and Terminal keys are not followed: the
// program runs in the working directory it is given, without a terminal.

// The command that opens one document with its program, as findProgramForDocument made it.
struct DocumentCommand {
  // The command in the form this system starts programs in, as the system names things (not
  // Latin-1): on Windows one part, the command line; here the program's full path and then
  // its arguments, one part each. Empty when no program is known for the document.
  std::vector<std::string> parts;
};

// The command that opens `document` with the program associated with its type; empty when
// none is known. `directory` is where a relative document name is looked up first; elsewhere a
// relative name is taken from the current directory.
DocumentCommand findProgramForDocument(const char* document, const char* directory);

// Starts `command` with `workingDirectory` (Latin-1) as the started program's own working
// directory, without waiting for it; the caller's current directory is not changed. False when
// the command is empty or could not be started.
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
// (platform/common/runtime_flags.h), translated here; names are Latin-1. Each returns the
// runtime's result (-1, or a short count, on failure) and, when it fails, stores the error
// number in `error`.
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

// A unique name starting with `prefix` in the system's temporary folder (Latin-1), for a
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

// Makes current a folder named as the operating system names it (as moduleFolder returns it, not
// Latin-1); false on failure. For the launcher's own start, before any Java runs: the current
// directory belongs to every thread of the process, and the library never changes it.
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

// The installed Java VM's library, loaded: the one under JAVA_HOME, else the one of the Java
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
