// The launcher program: runs the Java class Fennaquil from the launcher's own folder in the
// installed JDK's VM. The command line is ignored.
#include "launcher/jni_vm_layer.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

namespace {
void anchor() {}
}  // namespace

int main() {
  std::string folder = platform::moduleFolder(reinterpret_cast<const void*>(&anchor));
  launcher::JniVmLayer vm(folder);
  launcher::LauncherSetup setup{vm, folder};
  int exitCode = launcher::runLauncher(setup);
  vm.endProcess(exitCode);
}
