// Message boxes: one line "<caption>: <text>" on standard error, and a modal dialog when a
// graphical session and a dialog program are at hand.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
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

class DesktopMessages final : public MessageService {
 public:
  void showError(const char* caption, const char* text) override {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    showDialog(caption, text);
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
