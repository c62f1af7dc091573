// A VM layer for tests: each step succeeds or fails as the test asks, and every call is recorded
// in order, so that the pairing of the steps can be checked.
#pragma once

#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "launcher/vm_layer.h"
#include "platform/platform.h"

struct FakeVmScript {
  bool initialiseFails = false;
  bool obtainFails = false;
  std::string whereLooked;  // what the layer tells after obtainVm found no VM
  bool createFails = false;
  launcher::VmStatus executeStatus = launcher::kVmOk;
  bool returnsError = false;
  bool errorHasDescription = true;
  std::u16string description;
  std::function<void()> duringExecute;  // runs inside execute, on the calling thread
};

class FakeVmLayer final : public launcher::VmLayer {
 public:
  explicit FakeVmLayer(FakeVmScript script = {}) : script(std::move(script)) {}

  void record(const std::string& call) {
    std::lock_guard<std::mutex> guard(lock);
    calls.push_back(call);
  }
  std::vector<std::string> recorded() {
    std::lock_guard<std::mutex> guard(lock);
    return calls;
  }

  bool initialise() override {
    record("initialise");
    return !script.initialiseFails;
  }
  std::unique_ptr<launcher::VmFactory> obtainVm() override;
  std::string whereLooked() const override { return script.whereLooked; }
  void terminate() override { record("terminate"); }
  void endProcess(int) override { std::abort(); }

  FakeVmScript script;
  std::mutex lock;
  std::vector<std::string> calls;
  // What the last execute saw.
  launcher::ExecutionRecord seenRecord;
  std::u16string seenName;
  platform::ThreadId executeThread = 0;
};

class FakeError final : public launcher::VmError {
 public:
  explicit FakeError(FakeVmLayer& layer) : layer_(layer) {}
  ~FakeError() override { layer_.record("release error"); }
  bool description(std::u16string& text) override {
    layer_.record("describe");
    if (!layer_.script.errorHasDescription) return false;
    text = layer_.script.description;
    return true;
  }

 private:
  FakeVmLayer& layer_;
};

class FakeExecutor final : public launcher::ClassExecutor {
 public:
  explicit FakeExecutor(FakeVmLayer& layer) : layer_(layer) {}
  ~FakeExecutor() override { layer_.record("release vm"); }
  launcher::VmStatus execute(const launcher::ExecutionRecord& record,
                             std::unique_ptr<launcher::VmError>& error) override {
    layer_.record("execute");
    layer_.seenRecord = record;
    layer_.seenName = record.className;
    layer_.executeThread = platform::currentThreadId();
    if (layer_.script.duringExecute) layer_.script.duringExecute();
    if (layer_.script.returnsError) error = std::make_unique<FakeError>(layer_);
    return layer_.script.executeStatus;
  }

 private:
  FakeVmLayer& layer_;
};

class FakeFactory final : public launcher::VmFactory {
 public:
  explicit FakeFactory(FakeVmLayer& layer) : layer_(layer) {}
  ~FakeFactory() override { layer_.record("release factory"); }
  std::unique_ptr<launcher::ClassExecutor> createVm() override {
    layer_.record("createVm");
    if (layer_.script.createFails) return nullptr;
    return std::make_unique<FakeExecutor>(layer_);
  }

 private:
  FakeVmLayer& layer_;
};

inline std::unique_ptr<launcher::VmFactory> FakeVmLayer::obtainVm() {
  record("obtainVm");
  if (script.obtainFails) return nullptr;
  return std::make_unique<FakeFactory>(*this);
}
