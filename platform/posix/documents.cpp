// Documents and their programs, chosen as the desktop chooses them: GLib's GIO tells the
// document's type and the default application for it (GDesktopAppInfo follows every rule of the
// desktop's MIME associations), and the application's Exec line becomes the command.
//
// GIO is asked only to choose. Its own start (g_app_info_launch) forks the calling process
// twice, and a fork of a Java VM copies the page tables of its whole heap (0.3 s at 4 GiB), so
// the command is made here from what GIO read and started through posix_spawn like every other
// program of the library.
//
// The choice is the desktop's own, as GIO makes it for `gio open`: the document's type as GIO
// tells it from the name and the first bytes, and the default application for that type
// (mimeapps.list in the desktop's order, desktop-specific lists first, added and removed
// associations, defaults naming a missing entry passed over, the parent types of a type
// tried next). The command is the application's whole Exec line, split into words by the
// desktop entry rules with its field codes expanded as GIO expands them: the first of %f %F
// %u %U the document's path (a URI only for an entry marked X-GIO-NoFuse), %i, %c and %k the
// entry's icon, name and location, %% one "%"; a line without a document code gets the
// document as its last word. An entry with Terminal=true runs inside the first terminal
// program GIO would take; an entry's Path is the program's working directory. Each word is
// one argument of the program; no command interpreter sees them.
//
// The command is the program's full path and then its arguments, one part each; the document
// reaches the program as its absolute path (or that path's URI), as one argument, never split at
// a space. No program is found for a document that does not exist, for an Exec line that breaks
// the desktop entry rules in a way that could make the document's name part of a command (a
// single quote or backslash outside double quotes, any reserved character unquoted, a document
// code inside quotes or in a word with a quoted part, an unknown field code, a field code in
// the program's own word) although GIO would start it, or for a Terminal=true entry when no
// terminal program is installed.
#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/desktop_entry.h"
#include "platform/posix/process.h"

namespace platform {
namespace {

struct ObjectRelease {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfo = std::unique_ptr<GAppInfo, ObjectRelease>;

struct TextRelease {
  void operator()(gchar* text) const { g_free(text); }
};
using Text = std::unique_ptr<gchar, TextRelease>;

std::string textOf(gchar* owned) {
  Text text(owned);
  return text ? std::string(text.get()) : std::string();
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

// The document's type as GIO gives it for a local file: special files and folders by their
// kind, an empty file as plain text (it is never read: files in /proc look empty), else a guess
// from the name, refined by the first bytes when the name leaves it uncertain.
std::string contentType(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return "inode/symlink";  // a link to nothing
  if (S_ISDIR(info.st_mode)) return "inode/directory";
  if (S_ISCHR(info.st_mode)) return "inode/chardevice";
  if (S_ISBLK(info.st_mode)) return "inode/blockdevice";
  if (S_ISFIFO(info.st_mode)) return "inode/fifo";
  if (S_ISSOCK(info.st_mode)) return "inode/socket";
  if (S_ISREG(info.st_mode) && info.st_size == 0) return "text/plain";
  std::string name = path.substr(path.rfind('/') + 1);
  gboolean uncertain = FALSE;
  std::string type = textOf(g_content_type_guess(name.c_str(), nullptr, 0, &uncertain));
  if (!uncertain || !S_ISREG(info.st_mode)) return type;
  int file = ::open(path.c_str(), O_RDONLY | O_NOATIME | O_CLOEXEC | O_NONBLOCK);
  if (file < 0) file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file < 0) return type;
  guchar sniffed[4096];
  ssize_t got = ::read(file, sniffed, sizeof sniffed);
  ::close(file);
  if (got < 0) return type;
  return textOf(g_content_type_guess(name.c_str(), sniffed, static_cast<gsize>(got), nullptr));
}

// The application GIO would open the document with: a handler of file URIs when the desktop
// names one, else the default for the document's type.
AppInfo defaultApplication(const std::string& type) {
  AppInfo application(g_app_info_get_default_for_uri_scheme("file"));
  if (!application) application.reset(g_app_info_get_default_for_type(type.c_str(), FALSE));
  return application;
}

// A program named by a desktop entry: an absolute path, or a bare name looked up on PATH.
// Empty when it is neither, or is not an executable file.
std::string entryProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) {
    struct stat info {};
    bool regular = ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    return name[0] == '/' && regular && ::access(name.c_str(), X_OK) == 0 ? name : "";
  }
  return posix::findOnPath(name);
}

// The terminal programs GIO looks for, in its order, and the option after which each takes the
// command to run.
struct Terminal {
  const char* program;
  const char* commandOption;
};
constexpr Terminal kTerminals[] = {
    {"gnome-terminal", "--"}, {"mate-terminal", "-x"},
    {"xfce4-terminal", "-x"}, {"kgx", "-e"},
    {"tilix", "-e"},          {"konsole", "-e"},
    {"nxterm", "-e"},         {"color-xterm", "-e"},
    {"rxvt", "-e"},           {"dtterm", "-e"},
    {"xterm", "-e"},
};

// Puts the first installed terminal in front of the command; false when there is none.
bool inTerminal(std::vector<std::string>& words) {
  for (const Terminal& terminal : kTerminals) {
    std::string program = posix::findOnPath(terminal.program);
    if (program.empty()) continue;
    words.insert(words.begin(), {program, terminal.commandOption});
    return true;
  }
  return false;
}

}  // namespace

DocumentCommand findProgramForDocument(const char* document, const char* directory) {
  DocumentCommand command;
  std::string path = absoluteDocumentPath(document, directory);
  if (path.empty()) return command;
  AppInfo application = defaultApplication(contentType(path));
  if (!application || !G_IS_DESKTOP_APP_INFO(application.get())) return command;
  auto* entry = G_DESKTOP_APP_INFO(application.get());
  // A hidden entry stands for a deleted one (one of the user's own hides the system's of the
  // same id); GIO may hand it over, but never starts it.
  if (g_desktop_app_info_get_is_hidden(entry)) return command;
  const char* exec = g_app_info_get_commandline(application.get());
  if (!exec) return command;

  posix::ExecContext context;
  context.document = path;
  context.icon = textOf(g_desktop_app_info_get_locale_string(entry, "Icon"));
  context.name = textOf(g_desktop_app_info_get_locale_string(entry, "Name"));
  const char* location = g_desktop_app_info_get_filename(entry);
  context.entryLocation = location ? location : "";
  context.urisAsUris = g_desktop_app_info_get_boolean(entry, "X-GIO-NoFuse");
  std::vector<std::string> words;
  if (!posix::expandExecLine(exec, context, words)) return command;
  std::string program = entryProgram(words[0]);
  if (program.empty()) return command;
  words[0] = program;
  if (g_desktop_app_info_get_boolean(entry, "Terminal") && !inTerminal(words)) return command;

  command.parts = std::move(words);
  command.workingDirectory = textOf(g_desktop_app_info_get_string(entry, "Path"));
  if (location) command.environment.push_back(std::string("GIO_LAUNCHED_DESKTOP_FILE=") + location);
  return command;
}

bool startProgram(const DocumentCommand& command, const std::string& workingDirectory) {
  if (command.parts.empty()) return false;
  std::string directory = command.workingDirectory.empty() ? nativeName(workingDirectory.c_str())
                                                           : command.workingDirectory;
  return posix::startDetached(command.parts, directory, command.environment);
}

bool openWithDefaultAction(const char* document, const char* directory) {
  std::string path = absoluteDocumentPath(document, directory);
  if (path.empty()) return false;
  return posix::startDetached({"xdg-open", path}, {});
}

}  // namespace platform
