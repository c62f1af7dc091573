// The Java VM's host needs no services of its own here: a JNI VM asks nothing of the thread that
// creates it.
#include "platform/platform.h"

namespace platform {

bool startVmHostServices() { return true; }

void endVmHostServices() {}

}  // namespace platform
