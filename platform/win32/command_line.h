// A Windows command line that gives a program back exactly the arguments it was built from,
// read by the rules of CommandLineToArgvW and the C runtime's startup code.
#pragma once

#include <string>
#include <vector>

namespace platform::win32 {

// The words joined by spaces. The first is the program's path, always in double quotes (a path
// holds no quote, and the first word is read up to the closing quote with no escapes); every
// other word is quoted where it holds a space, a tab, a quote or nothing at all, with the
// backslashes before a quote doubled and the quote escaped. Characters that only a command
// interpreter treats specially (& ^ % ( ) < > |) are ordinary here.
std::string commandLine(const std::vector<std::string>& words);

}  // namespace platform::win32
