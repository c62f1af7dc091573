// The clipboard as the desktop's CLIPBOARD selection, reached through the usual command-line
// tools: wl-copy under Wayland, xclip or xsel under X11. The text goes to them on standard input
// as UTF-8; the tools keep serving the selection after we have returned. Each tool gets the
// library's bounded wait for helper programs.
#include <cstring>
#include <string>
#include <vector>

#include "platform/common/system_clipboard.h"
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
bool placeUtf8(const std::string& utf8, bool& unreachable) {
  std::vector<std::string> command = clipboardCommand();
  if (command.empty()) return false;
  posix::ProcessResult result = posix::runProgram(command, utf8);
  unreachable = result.timedOut;
  return result.exitStatus == 0;
}

}  // namespace

namespace system_clipboard {

bool open() { return !clipboardCommand().empty(); }

// Carried out at the close, unless new text has replaced the old in the meantime.
void empty() {}

bool placeText(const char* text, std::size_t length, bool& unreachable) {
  // The text ends at its first zero byte, as a zero-terminated text does.
  return placeUtf8(std::string(text, ::strnlen(text, length)), unreachable);
}

// The selection cannot be without an owner: an empty clipboard holds the empty text.
void close(bool leaveEmpty) {
  bool unreachable = false;
  if (leaveEmpty) placeUtf8({}, unreachable);
}

}  // namespace system_clipboard

}  // namespace platform
