// Desktop entries, the files that describe an installed application to the desktop (as
// freedesktop.org defines them): turning an entry's Exec line, as GIO read it, into the words of
// a command for one document.
//
// The words are handed to the operating system one argument each; no command interpreter ever
// sees them, so no character of a document's name is interpreted.
#pragma once

#include <string>
#include <vector>

namespace platform::posix {

// What the field codes of an Exec line stand for, for one document.
struct ExecContext {
  std::string document;       // the document's absolute path, as the system names files
  std::string icon;           // %i
  std::string name;           // %c
  std::string entryLocation;  // %k: the desktop entry file's path, empty when unknown
  // %u and %U give the document's URI; else its path, as GIO gives a local file to an
  // application unless its entry says X-GIO-NoFuse.
  bool urisAsUris = true;
};

// The command of an Exec line (string escapes already undone) for one document, program first,
// by the Desktop Entry rules, as GIO expands them for a valid line.
//
// Words are split at unquoted blanks. Double quotes group a word; inside them a backslash
// before one of the four characters " ` $ and backslash stands for that character. Field codes:
// the first of %f %F %u %U becomes the document's path (%u and %U its file:// URI when the
// context says so: every byte but letters, digits, "-._~" and "/" percent-encoded) and any
// further one nothing, %i the two words "--icon" and the icon when it stands alone and there is
// an icon, %c the name, %k the entry's location, %% one "%"; the deprecated %d %D %n %N %v %m
// are dropped. A word made of field codes alone that came out empty is dropped. A line without
// %f %F %u %U gets the document as its last word.
//
// False, with `words` empty, for a line that must not be run: no program, an unterminated
// quote, a "%" not followed by a known code, any field code in the program word, a reserved
// character outside double quotes (' \ > < ~ | & ; $ * ? # and the backquote: a single quote
// or a backslash would quote or escape for a shell or GIO's parser, not for these rules), or a
// document code inside quotes or in a word with a quoted part (the document would become part
// of a text that the program may run as code, such as the script of `sh -c "..."`).
bool expandExecLine(const std::string& exec, const ExecContext& context,
                    std::vector<std::string>& words);

// The file:// URI of an absolute path, percent-encoded as %u gives it.
std::string fileUri(const std::string& absolutePath);

}  // namespace platform::posix
