// Reading desktop entries and expanding their Exec lines.
//
// A desktop entry is a key file: "[Group]" headers, "Key=Value" lines, "#" comments. Keys of
// the localestring type may come in translations, "Name[de_CH]=...". An Exec line is quoted in
// its own way on top of the string escapes of every value, so a literal backslash inside a
// quoted word takes four in the file: the value's escape makes two of them, the quoting one.
#include "platform/posix/desktop_entry.h"

#include <cstddef>

namespace platform::posix {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The locale suffixes to try for a translated key, best first, as freedesktop.org's desktop entry
// rules order them: lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang.
std::vector<std::string> localeCandidates(const std::string& locale) {
  std::string rest = locale;
  std::string modifier;
  std::size_t at = rest.find('@');
  if (at != std::string::npos) {
    modifier = rest.substr(at + 1);
    rest.erase(at);
  }
  std::size_t dot = rest.find('.');
  if (dot != std::string::npos) rest.erase(dot);
  std::string country;
  std::size_t underscore = rest.find('_');
  if (underscore != std::string::npos) {
    country = rest.substr(underscore + 1);
    rest.erase(underscore);
  }
  const std::string& language = rest;
  std::vector<std::string> candidates;
  if (language.empty() || language == "C" || language == "POSIX") return candidates;
  if (!country.empty() && !modifier.empty()) {
    candidates.push_back(language + "_" + country + "@" + modifier);
  }
  if (!country.empty()) candidates.push_back(language + "_" + country);
  if (!modifier.empty()) candidates.push_back(language + "@" + modifier);
  candidates.push_back(language);
  return candidates;
}

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

std::string unescapeValue(const std::string& value) {
  std::string result;
  result.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      result += value[i];
      continue;
    }
    char next = value[i + 1];
    switch (next) {
      case 's':
        result += ' ';
        break;
      case 'n':
        result += '\n';
        break;
      case 't':
        result += '\t';
        break;
      case 'r':
        result += '\r';
        break;
      case '\\':
        result += '\\';
        break;
      default:
        result += '\\';
        result += next;
        break;
    }
    ++i;
  }
  return result;
}

bool parseDesktopEntry(const std::string& text, const std::string& locale, DesktopEntry& entry) {
  entry = DesktopEntry{};
  std::vector<std::string> candidates = localeCandidates(locale);
  std::size_t bestName = candidates.size() + 1;  // lower is better; untranslated is size()
  bool inMainGroup = false;
  bool found = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = trimmed(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inMainGroup = line == "[Desktop Entry]";
      found = found || inMainGroup;
      continue;
    }
    std::size_t equals = line.find('=');
    if (!inMainGroup || equals == std::string::npos) continue;
    std::string key = trimmed(line.substr(0, equals));
    std::string value = unescapeValue(trimmed(line.substr(equals + 1)));
    if (key == "Type") {
      entry.type = value;
    } else if (key == "Exec") {
      entry.exec = value;
    } else if (key == "TryExec") {
      entry.tryExec = value;
    } else if (key == "Icon") {
      entry.icon = value;
    } else if (key == "Hidden") {
      entry.hidden = value == "true";
    } else if (key == "NoDisplay") {
      entry.noDisplay = value == "true";
    } else if (key == "Name" && bestName > candidates.size()) {
      entry.name = value;
      bestName = candidates.size();
    } else if (key.compare(0, 5, "Name[") == 0 && key.back() == ']') {
      std::string suffix = key.substr(5, key.size() - 6);
      for (std::size_t rank = 0; rank < candidates.size() && rank < bestName; ++rank) {
        if (candidates[rank] == suffix) {
          entry.name = value;
          bestName = rank;
          break;
        }
      }
    }
  }
  return found;
}

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
