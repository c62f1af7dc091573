// Documents and their programs through the freedesktop.org conventions: xdg-mime names the
// document's type and its default application, whose desktop entry names the program.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/process.h"

namespace platform {
namespace {

std::string trimmed(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  std::size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

std::string firstLine(const std::string& text) { return trimmed(text.substr(0, text.find('\n'))); }

std::string environmentOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

// The folders that hold desktop entries, most important first.
std::vector<std::string> applicationFolders() {
  std::string home = environmentOr("HOME", "/");
  std::vector<std::string> folders{environmentOr("XDG_DATA_HOME", home + "/.local/share")};
  std::stringstream dataDirs(environmentOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"));
  for (std::string folder; std::getline(dataDirs, folder, ':');) {
    if (!folder.empty()) folders.push_back(folder);
  }
  for (std::string& folder : folders) folder += "/applications/";
  return folders;
}

// A desktop file id may stand for a file in a subfolder ("kde-foo.desktop" is kde/foo.desktop).
std::string findDesktopEntry(const std::string& id) {
  for (const std::string& folder : applicationFolders()) {
    std::string candidate = folder + id;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return candidate;
    std::string nested = id;
    for (std::size_t dash = nested.find('-'); dash != std::string::npos;
         dash = nested.find('-', dash + 1)) {
      nested[dash] = '/';
      candidate = folder + nested;
      if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return candidate;
      nested[dash] = '-';
    }
  }
  return {};
}

// The program of an Exec line: its first word, with the quoting rules of desktop entries.
std::string programOfExecLine(const std::string& exec) {
  std::string program;
  std::size_t i = 0;
  while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t')) ++i;
  if (i < exec.size() && exec[i] == '"') {
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
      program += exec[i];
    }
  } else {
    while (i < exec.size() && exec[i] != ' ' && exec[i] != '\t') program += exec[i++];
  }
  return program;
}

std::string execLineOf(const std::string& entryPath) {
  std::ifstream entry(entryPath);
  bool inMainGroup = false;
  for (std::string line; std::getline(entry, line);) {
    line = trimmed(line);
    if (!line.empty() && line[0] == '[') {
      inMainGroup = line == "[Desktop Entry]";
    } else if (inMainGroup && line.compare(0, 5, "Exec=") == 0) {
      return line.substr(5);
    }
  }
  return {};
}

std::string absoluteDocumentPath(const char* document, const char* directory) {
  std::string path = nativeName(document);
  if (path.empty() || path[0] == '/' || !directory || !*directory) return path;
  std::string folder = nativeName(directory);
  if (folder.back() != '/') folder += '/';
  // The default directory only serves when the document is there; otherwise keep it relative.
  struct stat info {};
  return ::stat((folder + path).c_str(), &info) == 0 ? folder + path : path;
}

}  // namespace

std::string findProgramForDocument(const char* document, const char* directory) {
  std::string path = absoluteDocumentPath(document, directory);
  if (path.empty()) return {};
  std::string type =
      firstLine(posix::runProgram({"xdg-mime", "query", "filetype", path}, {}, true).output);
  if (type.empty()) return {};
  std::string application =
      firstLine(posix::runProgram({"xdg-mime", "query", "default", type}, {}, true).output);
  if (application.empty()) return {};
  std::string entry = findDesktopEntry(application);
  if (entry.empty()) return {};
  std::string program = programOfExecLine(execLineOf(entry));
  if (program.empty()) return {};
  return posix::findOnPath(program);
}

bool startProgram(const std::string& program, const char* argument) {
  if (program.empty()) return false;
  return posix::startDetached({program, nativeName(argument)});
}

bool openWithDefaultAction(const char* document, const char* directory) {
  std::string path = absoluteDocumentPath(document, directory);
  if (path.empty()) return false;
  return posix::startDetached({"xdg-open", path});
}

}  // namespace platform
