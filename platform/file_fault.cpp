// The words for a failed file step, the same on every system.
#include "platform/platform.h"

namespace platform {

const char* fileFaultText(FileFault fault) {
  switch (fault) {
    case FileFault::kNone:
      return "done";
    case FileFault::kRefused:
      return "refused";
    case FileFault::kNoSpace:
      return "no space";
    case FileFault::kNotPermitted:
      return "not permitted";
    case FileFault::kCrossDevice:
      return "another file system";
    case FileFault::kChanged:
      return "changed meanwhile";
    case FileFault::kFailed:
      break;
  }
  return "failed";
}

}  // namespace platform
