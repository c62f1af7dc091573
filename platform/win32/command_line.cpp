#include "platform/win32/command_line.h"

namespace platform::win32 {
namespace {

void appendArgument(std::string& line, const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\n\v\"") == std::string::npos) {
    line += word;
    return;
  }
  line += '"';
  std::size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only in front of a quote: double them there.
    line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  // The closing quote follows: the trailing backslashes must not escape it.
  line.append(2 * backslashes, '\\');
  line += '"';
}

}  // namespace

std::string commandLine(const std::vector<std::string>& words) {
  std::string line;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i == 0) {
      line += '"' + words[0] + '"';
    } else {
      line += ' ';
      appendArgument(line, words[i]);
    }
  }
  return line;
}

}  // namespace platform::win32
