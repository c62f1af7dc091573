// Message boxes: one line "<caption>: <text>" on standard error, and a modal dialog when a
// graphical session and a dialog program are at hand.
#include <cstdio>
#include <string>

#include "platform/common/services.h"
#include "platform/posix/process.h"

namespace platform {
namespace {

void showDialog(const char* caption, const char* text) {
  using posix::findOnPath;
  if (!posix::hasGraphicalSession()) return;
  // The texts are Latin-1; dialog programs expect UTF-8.
  std::string title = nativeName(caption);
  std::string body = nativeName(text);
  if (!findOnPath("zenity").empty()) {
    posix::runProgram({"zenity", "--error", "--title=" + title, "--text=" + body, "--no-markup"});
  } else if (!findOnPath("kdialog").empty()) {
    posix::runProgram({"kdialog", "--title", title, "--error", body});
  } else if (!findOnPath("xmessage").empty() && std::getenv("DISPLAY")) {
    posix::runProgram({"xmessage", "-center", "-title", title, "-buttons", "OK:0", body});
  }
}

class DesktopMessages final : public DesktopMessageService {
 public:
  void showError(const char* caption, const char* text) override {
    std::fprintf(stderr, "%s: %s\n", nativeName(caption).c_str(), nativeName(text).c_str());
    std::fflush(stderr);
    showDialog(caption, text);
  }
};

}  // namespace

MessageService& systemMessages() {
  static DesktopMessages desktop;
  return desktop;
}

}  // namespace platform
