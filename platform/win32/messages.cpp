// Message boxes: a modal box with the error icon and one OK button, owned by no window.
#include <windows.h>

#include <atomic>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class DesktopMessages final : public MessageService {
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
  void trace(const char*) override {}
};

DesktopMessages desktop;
// Swapped by tests only, but read by every thread of the process.
std::atomic<MessageService*> current{&desktop};

}  // namespace

MessageService& messages() { return *current.load(); }

void setMessageService(MessageService* service) { current = service ? service : &desktop; }

}  // namespace platform
