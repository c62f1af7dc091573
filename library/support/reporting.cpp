#include "library/support/reporting.h"

#include <string>

#include "platform/platform.h"

void showError(const char* text) { platform::messages().showError("Error", text); }

void traceMessage(const char* text, const char* detail) {
  if (!detail) {
    platform::messages().trace(text);
    return;
  }
  platform::messages().trace((std::string(text) + detail).c_str());
}
