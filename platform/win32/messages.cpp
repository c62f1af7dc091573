// Message boxes: a modal box with the error icon and one OK button, owned by no window.
#include <windows.h>

#include "platform/common/services.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class DesktopMessages final : public DesktopMessageService {
 public:
  void showError(const char* caption, const char* text) override {
    ::MessageBoxW(nullptr, win32::wide(text).c_str(), win32::wide(caption).c_str(),
                  MB_OK | MB_ICONERROR);
  }
  // The launcher's messages: owned by the calling thread's active window when it has one.
  void showOwnedError(const char* caption, const char* text) override {
    ::MessageBoxW(::GetActiveWindow(), win32::wide(text).c_str(), win32::wide(caption).c_str(),
                  MB_OK | MB_ICONERROR);
  }
};

}  // namespace

MessageService& systemMessages() {
  static DesktopMessages desktop;
  return desktop;
}

}  // namespace platform
