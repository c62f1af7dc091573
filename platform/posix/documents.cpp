// Documents and their programs through the freedesktop.org conventions: xdg-mime names the
// document's type and its default application, whose desktop entry says how to start it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/desktop_entry.h"
#include "platform/posix/process.h"

namespace platform {
namespace {

std::string firstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  std::size_t begin = line.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  return line.substr(begin, line.find_last_not_of(" \t\r") - begin + 1);
}

std::string environmentOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

bool isRegular(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
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

// The file for the rest of a desktop file id under `folder`: a "-" of the id may stand for a
// subfolder ("kde-foo.desktop" may be kde/foo.desktop).
std::string entryUnder(const std::string& folder, const std::string& id) {
  if (isRegular(folder + id)) return folder + id;
  for (std::size_t dash = id.find('-'); dash != std::string::npos; dash = id.find('-', dash + 1)) {
    std::string subfolder = folder + id.substr(0, dash) + "/";
    if (!isDirectory(subfolder)) continue;
    std::string found = entryUnder(subfolder, id.substr(dash + 1));
    if (!found.empty()) return found;
  }
  return {};
}

// The desktop entry file of an application id: the one in the most important folder, which
// hides any of the same id further down.
std::string findDesktopEntry(const std::string& id) {
  if (id.empty() || id.find('/') != std::string::npos || id[0] == '.') return {};
  for (const std::string& folder : applicationFolders()) {
    std::string found = entryUnder(folder, id);
    if (!found.empty()) return found;
  }
  return {};
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The locale that picks the translated name, as the C library would take it for messages.
std::string messageLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return {};
}

// A program named by a desktop entry: an absolute path, or a bare name looked up on PATH.
// Empty when it is neither, or is not an executable file.
std::string entryProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) {
    return name[0] == '/' && isRegular(name) && ::access(name.c_str(), X_OK) == 0 ? name : "";
  }
  return posix::findOnPath(name);
}

// The document's absolute name (native): the document as it is when absolute, else in the
// default directory when it is there, else in the current directory. Empty when it does not
// exist.
std::string absoluteDocumentPath(const char* document, const char* directory) {
  if (!document || !*document) return {};
  std::string path = nativeName(document);
  if (path[0] != '/' && directory && *directory) {
    std::string inDirectory = nativeName(directory);
    if (inDirectory.back() != '/') inDirectory += '/';
    inDirectory += path;
    struct stat info {};
    if (::stat(inDirectory.c_str(), &info) == 0) path = inDirectory;
  }
  if (path[0] != '/') {
    std::string current = posix::currentDirectory();
    if (current.empty()) return {};
    path = (current == "/" ? current : current + "/") + path;
  }
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? path : "";
}

}  // namespace

DocumentCommand findProgramForDocument(const char* document, const char* directory) {
  DocumentCommand command;
  std::string path = absoluteDocumentPath(document, directory);
  if (path.empty()) return command;
  std::string type =
      firstLine(posix::runProgram({"xdg-mime", "query", "filetype", path}, {}, true).output);
  if (type.empty()) return command;
  std::string application =
      firstLine(posix::runProgram({"xdg-mime", "query", "default", type}, {}, true).output);
  std::string location = findDesktopEntry(application);
  if (location.empty()) return command;

  posix::DesktopEntry entry;
  if (!posix::parseDesktopEntry(readText(location), messageLocale(), entry)) return command;
  // A hidden entry stands for a deleted one. NoDisplay only keeps an entry out of menus: such
  // entries exist to open documents and are used. A TryExec that names no program says that
  // the application is not installed.
  if (entry.type != "Application" || entry.hidden) return command;
  if (!entry.tryExec.empty() && entryProgram(entry.tryExec).empty()) return command;

  std::vector<std::string> words;
  posix::ExecContext context{path, entry.icon, entry.name, location};
  if (!posix::expandExecLine(entry.exec, context, words)) return command;
  std::string program = entryProgram(words[0]);
  if (program.empty()) return command;
  words[0] = program;
  command.parts = std::move(words);
  return command;
}

bool startProgram(const DocumentCommand& command, const std::string& workingDirectory) {
  if (command.parts.empty()) return false;
  return posix::startDetached(command.parts, nativeName(workingDirectory.c_str()));
}

bool openWithDefaultAction(const char* document, const char* directory) {
  std::string path = absoluteDocumentPath(document, directory);
  if (path.empty()) return false;
  return posix::startDetached({"xdg-open", path}, {});
}

}  // namespace platform
