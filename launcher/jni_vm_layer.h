// The VM layer over the installed JDK, through the JNI invocation API. libjvm is loaded at run
// time (platform::loadJavaVmModule): the launcher does not link against it.
//
// The VM is created on the calling (main) thread with the current directory as its class path
// and the launcher's folder as its library path; classes run on the thread that calls execute,
// attached to the VM for the call. A JNI VM cannot be destroyed without waiting for every
// non-daemon Java thread, so releasing the execution object leaves the VM running, and
// endProcess ends it and the process together without that wait, as System.exit would: the
// shutdown hooks run, and an exit that a Java thread has already begun decides the exit code.
#pragma once

#include <string>

#include "launcher/vm_layer.h"

struct JavaVM_;

namespace launcher {

class JniVmLayer final : public VmLayer {
 public:
  explicit JniVmLayer(std::string libraryFolder) : libraryFolder_(std::move(libraryFolder)) {}

  bool initialise() override;
  std::unique_ptr<VmFactory> obtainVm() override;
  std::string whereLooked() const override { return whereLooked_; }
  void terminate() override;
  [[noreturn]] void endProcess(int status) override;

  // For the factory: the created VM, which endProcess ends.
  void created(JavaVM_* vm) { vm_ = vm; }
  const std::string& libraryFolder() const { return libraryFolder_; }

 private:
  std::string libraryFolder_;
  std::string whereLooked_;
  JavaVM_* vm_ = nullptr;
};

}  // namespace launcher
