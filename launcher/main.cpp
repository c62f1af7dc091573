// The launcher program: runs the Java class Fennaquil from the launcher's own folder in the
// installed JDK's VM. The command line is ignored.
#include "launcher/jni_vm_layer.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

int main() {
  // The folder of the launcher's own file, however it was started (a symbolic link, another
  // argument 0): the installation is there.
  std::string folder = platform::executableFolder();
  launcher::JniVmLayer vm(folder);
  launcher::LauncherSetup setup{vm, folder};
  int exitCode = launcher::runLauncher(setup);
  vm.endProcess(exitCode);
}
