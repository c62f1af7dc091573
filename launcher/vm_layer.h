// The layer through which JavaHost reaches a Java VM: the steps a host takes, in order, and
// nothing of how a particular VM implements them. JniVmLayer runs the installed JDK's VM; tests
// use a fake.
//
//   initialise  ->  obtainVm (a factory)  ->  createVm (the execution object; the factory is
//   then released)  ->  execute a class by name  ->  release the execution object  ->  terminate
//
// Objects handed out are owned by the caller; destroying one releases it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace launcher {

// Status of a VM operation: negative means failure.
using VmStatus = std::int32_t;
constexpr VmStatus kVmOk = 0;
constexpr VmStatus kVmFailed = -1;

// The request to run one class. The size field holds the record's own size; the class gets no
// arguments and no class path of its own (the three zero fields).
struct ExecutionRecord {
  std::uint32_t size = sizeof(ExecutionRecord);
  std::uint32_t flags = 2;
  const char16_t* className = nullptr;  // zero-terminated UTF-16
  std::uint32_t arguments = 0;
  std::uint32_t argumentCount = 0;
  std::uint32_t classPath = 0;
};

// What the VM hands back when the class ran but ended in error.
class VmError {
 public:
  virtual ~VmError() = default;
  // The error's description (UTF-16, without a terminating zero); false when there is none.
  virtual bool description(std::u16string& text) = 0;
};

// The VM's class-execution object.
class ClassExecutor {
 public:
  virtual ~ClassExecutor() = default;
  // Runs the class named in `record` and returns when it has finished. A negative status when
  // the class could not be run at all; otherwise `error` is left null after a clean run, or
  // receives the error the run ended in.
  virtual VmStatus execute(const ExecutionRecord& record, std::unique_ptr<VmError>& error) = 0;
};

class VmFactory {
 public:
  virtual ~VmFactory() = default;
  // The execution object; null when it cannot be created.
  virtual std::unique_ptr<ClassExecutor> createVm() = 0;
};

class VmLayer {
 public:
  virtual ~VmLayer() = default;
  // Prepares the calling thread for the VM; false when it cannot.
  virtual bool initialise() = 0;
  // The VM's factory; null when no VM is to be had.
  virtual std::unique_ptr<VmFactory> obtainVm() = 0;
  // After obtainVm found no VM: where it looked and what it found, as a few lines for the user
  // (8-bit text, no trailing newline); empty when there is nothing to tell.
  virtual std::string whereLooked() const { return {}; }
  // Undoes initialise, once the VM has been released or was never created.
  virtual void terminate() = 0;
  // Ends the process at once with `status`, without waiting for threads still running inside
  // the VM. Called by the program after the VM has been released.
  [[noreturn]] virtual void endProcess(int status) = 0;
};

}  // namespace launcher
