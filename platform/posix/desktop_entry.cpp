// Expanding the Exec lines of desktop entries. GIO reads the entry and undoes the string escapes
// of its values; an Exec line is quoted in its own way on top of them, which is what is read
// here (a literal backslash inside a quoted word takes four in the file, two in the line).
#include "platform/posix/desktop_entry.h"

#include <cstddef>

namespace platform::posix {
namespace {

// The document's part of an Exec line: one of %f %F %u %U.
bool isDocumentCode(char code) { return code == 'f' || code == 'F' || code == 'u' || code == 'U'; }

bool isDeprecatedCode(char code) {
  return code == 'd' || code == 'D' || code == 'n' || code == 'N' || code == 'v' || code == 'm';
}

// The characters that must be quoted when an argument holds them (blanks and the double quote
// aside, which split and quote words).
bool isReserved(char c) {
  switch (c) {
    case '\'':
    case '\\':
    case '>':
    case '<':
    case '~':
    case '|':
    case '&':
    case ';':
    case '$':
    case '*':
    case '?':
    case '#':
    case '`':
      return true;
    default:
      return false;
  }
}

bool endsWordAt(const std::string& exec, std::size_t index) {
  return index >= exec.size() || exec[index] == ' ' || exec[index] == '\t' || exec[index] == '\n';
}

// Splits and expands one Exec line; see expandExecLine.
class ExecExpander {
 public:
  ExecExpander(const std::string& exec, const ExecContext& context)
      : exec_(exec), context_(context) {}

  bool run(std::vector<std::string>& words) {
    bool quoted = false;
    for (std::size_t i = 0; i < exec_.size(); ++i) {
      char c = exec_[i];
      char next = i + 1 < exec_.size() ? exec_[i + 1] : '\0';
      if (quoted) {
        if (c == '"') {
          quoted = false;
        } else if (c == '\\' && (next == '"' || next == '`' || next == '$' || next == '\\')) {
          literal(next);
          ++i;
        } else if (c == '%') {
          if (!fieldCode(next, true, i + 2)) return false;
          ++i;
        } else {
          literal(c);
        }
      } else if (c == ' ' || c == '\t' || c == '\n') {
        endWord();
      } else if (c == '"') {
        if (documentWord_) return false;
        quoted = true;
        inWord_ = true;
        keepEmpty_ = true;
        quotedWord_ = true;
      } else if (isReserved(c)) {
        // Only double quotes quote here; a single quote or a backslash outside them is what a
        // shell, and GIO's own parser, would read as quoting, which can move a document's name
        // out of its word. Such a line breaks the rules and is not run.
        return false;
      } else if (c == '%') {
        if (!fieldCode(next, false, i + 2)) return false;
        ++i;
      } else {
        literal(c);
      }
    }
    if (quoted) return false;
    endWord();
    if (words_.empty()) return false;
    if (!hasDocument_) words_.push_back(context_.document);
    words = std::move(words_);
    return true;
  }

 private:
  void literal(char c) {
    word_ += c;
    inWord_ = true;
    keepEmpty_ = true;
  }

  void endWord() {
    if (inWord_ && (keepEmpty_ || !word_.empty())) words_.push_back(word_);
    if (iconWord_ && !context_.icon.empty()) {
      words_.push_back("--icon");
      words_.push_back(context_.icon);
    }
    word_.clear();
    inWord_ = false;
    keepEmpty_ = false;
    iconWord_ = false;
    quotedWord_ = false;
    documentWord_ = false;
  }

  // Expands the field code `code`, whose text ends before `after`, into the word being built;
  // false for a line that must not run.
  bool fieldCode(char code, bool quoted, std::size_t after) {
    if (code == '%') {
      literal('%');
      return true;
    }
    bool known =
        isDocumentCode(code) || isDeprecatedCode(code) || code == 'i' || code == 'c' || code == 'k';
    bool programWord = words_.empty();
    if (!known || programWord) return false;
    bool startsWord = !inWord_;
    inWord_ = true;
    if (isDocumentCode(code)) {
      // Inside a quoted part, or in a word with one, the document would become part of a text
      // that the program may run as code (the script of `sh -c "..."`).
      if (quoted || quotedWord_) return false;
      documentWord_ = true;
      // There is one document: the first code takes it, as GIO's expansion does.
      if (hasDocument_) return true;
      hasDocument_ = true;
      bool uri = (code == 'u' || code == 'U') && context_.urisAsUris;
      word_ += uri ? fileUri(context_.document) : context_.document;
    } else if (code == 'c') {
      word_ += context_.name;
    } else if (code == 'k') {
      word_ += context_.entryLocation;
    } else if (code == 'i') {
      // Only a word of its own can become two; inside another word the code is dropped.
      iconWord_ = startsWord && !quoted && endsWordAt(exec_, after);
    }
    return true;
  }

  const std::string& exec_;
  const ExecContext& context_;
  std::vector<std::string> words_;
  std::string word_;
  bool inWord_ = false;
  bool keepEmpty_ = false;  // the word has a literal character or quotes: kept even if empty
  bool iconWord_ = false;
  bool hasDocument_ = false;
  bool quotedWord_ = false;    // the word being built has a quoted part
  bool documentWord_ = false;  // the word being built holds a document code
};

}  // namespace

std::string fileUri(const std::string& absolutePath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : absolutePath) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0x0F];
    }
  }
  return uri;
}

bool expandExecLine(const std::string& exec, const ExecContext& context,
                    std::vector<std::string>& words) {
  words.clear();
  ExecExpander expander(exec, context);
  return expander.run(words);
}

}  // namespace platform::posix
