// Message boxes: one line "<caption>: <text>" on standard error, and a modal dialog when a
// graphical session and a dialog program are at hand.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/common/services.h"
#include "platform/posix/process.h"

namespace platform {
namespace {

// A dialog waits for the user, within the time a dialog may stay open.
void showWith(const std::vector<std::string>& command) {
  posix::runProgram(command, {}, false, posix::kDialogWaitMilliseconds);
}

void showDialog(const char* caption, const char* text) {
  using posix::findOnPath;
  if (!posix::hasGraphicalSession()) return;
  // UTF-8, as dialog programs expect them.
  std::string title = caption ? caption : "";
  std::string body = text ? text : "";
  if (!findOnPath("zenity").empty()) {
    showWith({"zenity", "--error", "--title=" + title, "--text=" + body, "--no-markup"});
  } else if (!findOnPath("kdialog").empty()) {
    showWith({"kdialog", "--title", title, "--error", body});
  } else if (!findOnPath("xmessage").empty() && std::getenv("DISPLAY")) {
    showWith({"xmessage", "-center", "-title", title, "-buttons", "OK:0", body});
  }
}

class DesktopMessages final : public DesktopMessageService {
 public:
  void showError(const char* caption, const char* text) override {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
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
