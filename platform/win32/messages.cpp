// Message boxes: a modal box with the error icon and one OK button, owned by no window.
#include <windows.h>

#include "platform/common/services.h"

namespace platform {
namespace {

class DesktopMessages final : public DesktopMessageService {
 public:
  void showError(const char* caption, const char* text) override {
    ::MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
  }
  // The launcher's messages: owned by the calling thread's active window when it has one.
  void showOwnedError(const char* caption, const char* text) override {
    ::MessageBoxA(::GetActiveWindow(), text, caption, MB_OK | MB_ICONERROR);
  }
};

}  // namespace

MessageService& systemMessages() {
  static DesktopMessages desktop;
  return desktop;
}

}  // namespace platform
