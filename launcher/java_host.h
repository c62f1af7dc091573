// JavaHost: the launcher's single holder of the Java VM. It starts the VM on the main thread,
// runs one class by name on the worker thread, turns any error the VM reports into a short text
// for the launcher's messages, and releases the VM.
//
// Detail buffers are kDetailBufferSize bytes; a detail that does not fit is cut to fit. Texts are
// 8-bit (Latin-1, the ANSI code page here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "launcher/vm_layer.h"

namespace launcher {

constexpr std::size_t kDetailBufferSize = 2048;

// Detail texts.
extern const char kCantInitOle[];            // "can't init OLE"
extern const char kCantInitJvm[];            // "can't init JVM"
extern const char kClassLoaderFailed[];      // "ClassLoader failed"
extern const char kCantExecuteClass[];       // "can't execute class"
extern const char kUnknownExecutionError[];  // "unknown error executing class"

struct JavaHost {
  explicit JavaHost(VmLayer& layer) : layer(layer) {}

  // Initialises the layer and creates the VM. False with a detail text in `detail` when that
  // fails; the layer is then terminated again, except when it could not be initialised. When no
  // VM is to be had, the detail is kCantInitJvm followed, on lines of their own, by where the
  // layer looked for one.
  bool startVm(char* detail);

  // Runs the class `className` (8-bit, zero-terminated) and waits for it to finish. 1 after a
  // clean run; 0 with a detail text in `detail` when the class could not be run or ended in
  // error (the error's own description, converted to the OEM code page).
  int executeClass(const char* className, char* detail);

  // Releases the VM and terminates the layer if a VM is held; otherwise does nothing.
  void releaseVm();

  VmLayer& layer;
  std::unique_ptr<ClassExecutor> vm;  // null while no VM is held
  std::uint32_t mainThreadId = 0;     // the thread that pumps messages; set by the entry point
};

// `length` 8-bit characters of `text` (or, with -1, the zero-terminated text and its zero) as a
// UTF-16 heap block (platform::memory()) with room for one unit more, zero-terminated. Null when
// the block cannot be allocated. The caller frees it.
char16_t* toWide(const char* text, std::ptrdiff_t length);

// `length` UTF-16 units of `text` (or, with -1, the zero-terminated text and its zero) as an
// 8-bit heap block of exactly the converted size; characters without an 8-bit form become '?'.
// Null when nothing would be converted or the block cannot be allocated. The caller frees it.
char* toNarrow(const char16_t* text, std::ptrdiff_t length);

// Copies `text` into a detail or message buffer of `capacity` bytes, cut to fit, zero-terminated.
void copyToBuffer(char* buffer, std::size_t capacity, const char* text);

}  // namespace launcher
