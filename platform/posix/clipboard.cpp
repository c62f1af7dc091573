// The clipboard as the desktop's CLIPBOARD selection, reached through the usual command-line
// tools: wl-copy under Wayland, xclip or xsel under X11. The text goes to them on standard input
// as UTF-8; the tools keep serving the selection after we have returned. Each tool gets the
// library's bounded wait for helper programs.
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/process.h"

namespace platform {
namespace {

// The command that takes the selection's new contents on standard input; empty when there is no
// session or no tool.
std::vector<std::string> clipboardCommand() {
  if (posix::hasWaylandSession() && !posix::findOnPath("wl-copy").empty()) {
    return {"wl-copy", "--type", "text/plain;charset=utf-8"};
  }
  if (!posix::hasGraphicalSession()) return {};
  if (!posix::findOnPath("xclip").empty()) {
    return {"xclip", "-selection", "clipboard", "-in", "-target", "UTF8_STRING"};
  }
  if (!posix::findOnPath("xsel").empty()) return {"xsel", "--clipboard", "--input"};
  return {};
}

// The tool's answer within its time. A tool that ran out of time (a display server that no
// longer answers) was ended and sets `unreachable`.
bool placeText(const std::string& utf8, bool& unreachable) {
  std::vector<std::string> command = clipboardCommand();
  if (command.empty()) return false;
  posix::ProcessResult result = posix::runProgram(command, utf8);
  unreachable = result.timedOut;
  return result.exitStatus == 0;
}

}  // namespace

Clipboard::~Clipboard() { close(); }

bool Clipboard::open() {
  if (open_) return true;
  open_ = !clipboardCommand().empty();
  emptied_ = false;
  textSet_ = false;
  return open_;
}

void Clipboard::empty() { emptied_ = open_; }

bool Clipboard::setText(const char* text, std::size_t length) {
  if (!open_) return false;
  // The text ends at its first zero byte, as a zero-terminated text does.
  bool unreachable = false;
  textSet_ = placeText(std::string(text, ::strnlen(text, length)), unreachable);
  // A desktop that did not answer would not answer the emptying either: the caller is not held
  // for a second wait.
  if (unreachable) emptied_ = false;
  return textSet_;
}

void Clipboard::close() {
  if (!open_) return;
  // Emptying is carried out here, unless new text has replaced the old in the meantime: the
  // selection cannot be without an owner, so an empty clipboard holds the empty text.
  bool unreachable = false;
  if (emptied_ && !textSet_) placeText({}, unreachable);
  open_ = false;
}

}  // namespace platform
