// Finding and loading a Java VM's jvm.dll: the runtime bundled beside the launcher (the folder
// "runtime", as jlink and jpackage lay one out), then the installation that JAVA_HOME names,
// then the current one that a JDK's or JRE's installer has registered, then the one that the
// java.exe on PATH belongs to. A jvm.dll of the other width cannot be loaded and is passed over,
// so the registry is read in the view of this program's own width, where installers of that
// width write.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/java_vm_search.h"
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

using win32::wide;
using win32::widePath;

// JDK 9 and later keep the VM in bin\server (32-bit ones also in bin\client); a JDK 8 keeps it
// under jre\bin, a JRE 8 under bin.
const std::vector<const char*> kLayouts = {
    "\\bin\\server\\jvm.dll",
    "\\bin\\client\\jvm.dll",
    "\\jre\\bin\\server\\jvm.dll",
    "\\jre\\bin\\client\\jvm.dll",
};

// The registry keys of the installers, newest layout first: since version 9 "JDK" and "JRE",
// before that their long names.
const char* const kRegistryKeys[] = {
    "SOFTWARE\\JavaSoft\\JDK",
    "SOFTWARE\\JavaSoft\\JRE",
    "SOFTWARE\\JavaSoft\\Java Development Kit",
    "SOFTWARE\\JavaSoft\\Java Runtime Environment",
};

// The view of the registry that installers of this program's width write to.
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr const char* kOwnViewName = sizeof(void*) == 8 ? "64-bit" : "32-bit";

std::string environmentVariable(const char* name) {
  std::wstring wideName = wide(name);
  DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::wstring value(needed, L'\0');
  DWORD got = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), needed);
  if (got == 0 || got >= needed) return {};
  return win32::utf8(value.c_str(), static_cast<int>(got));
}

DWORD attributesOf(const std::string& path) { return ::GetFileAttributesW(widePath(path).c_str()); }

bool isFolder(const std::string& path) {
  DWORD attributes = attributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(const std::string& path) {
  DWORD attributes = attributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string withoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

// A string value of an open key; empty when there is none.
std::string stringValue(HKEY key, const char* subkey, const char* name) {
  std::wstring wideSubkey = wide(subkey);
  std::wstring wideName = wide(name);
  const wchar_t* subkeyText = subkey ? wideSubkey.c_str() : nullptr;
  DWORD size = 0;
  if (::RegGetValueW(key, subkeyText, wideName.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return {};
  }
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (::RegGetValueW(key, subkeyText, wideName.c_str(), RRF_RT_REG_SZ, nullptr, value.data(),
                     &size) != ERROR_SUCCESS) {
    return {};
  }
  value.resize(value.find(L'\0') == std::wstring::npos ? size / sizeof(wchar_t)
                                                       : value.find(L'\0'));
  return win32::utf8(value.c_str(), static_cast<int>(value.size()));
}

// The JavaHome of the installer key's CurrentVersion, as a Home (or what stood in the way).
JavaHome registeredHome(const char* keyName) {
  std::string where = std::string("HKLM\\") + keyName + " (" + kOwnViewName + " registry)";
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(keyName).c_str(), 0, KEY_READ | kOwnView, &key) !=
      ERROR_SUCCESS) {
    return {"", "", where + ": no such key"};
  }
  JavaHome home;
  std::string version = stringValue(key, nullptr, "CurrentVersion");
  if (version.empty()) {
    home.missing = where + ": no CurrentVersion";
  } else {
    std::string folder = stringValue(key, version.c_str(), "JavaHome");
    if (folder.empty()) {
      home.missing = where + "\\" + version + ": no JavaHome";
    } else {
      home = {withoutTrailingSeparator(folder), where + "\\" + version, ""};
    }
  }
  ::RegCloseKey(key);
  return home;
}

// The file a name finally stands for, links and junctions followed; the name itself when that
// cannot be told.
std::string finalPath(const std::string& path) {
  HANDLE file = ::CreateFileW(widePath(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return path;
  wchar_t buffer[MAX_PATH * 4];
  DWORD got = ::GetFinalPathNameByHandleW(file, buffer, MAX_PATH * 4, VOLUME_NAME_DOS);
  ::CloseHandle(file);
  if (got == 0 || got >= MAX_PATH * 4) return path;
  std::string result = win32::utf8(buffer, static_cast<int>(got));
  // "\\?\C:\..." for a drive, "\\?\UNC\server\share\..." for a share.
  if (result.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + result.substr(8);
  if (result.compare(0, 4, "\\\\?\\") == 0) return result.substr(4);
  return result;
}

// The first java.exe in a folder of PATH, in order; empty when there is none.
std::string javaOnPath() {
  std::string path = environmentVariable("PATH");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(';', start);
    if (end == std::string::npos) end = path.size();
    std::string folder = path.substr(start, end - start);
    start = end + 1;
    // A folder may be written in quotes (it may hold a ';').
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') {
      folder = folder.substr(1, folder.size() - 2);
    }
    if (folder.empty()) continue;
    std::string candidate = withoutTrailingSeparator(folder) + "\\java.exe";
    if (isFile(candidate)) return candidate;
  }
  return {};
}

// "C:\jdk\bin\java.exe" gives "C:\jdk"; empty when there is no such folder above.
std::string installationOf(const std::string& java) {
  std::size_t name = java.find_last_of("\\/");
  if (name == std::string::npos || name == 0) return {};
  std::size_t bin = java.find_last_of("\\/", name - 1);
  if (bin == std::string::npos || bin == 0) return {};
  return java.substr(0, bin);
}

// Loads a library without the system's dialog for one that cannot be loaded; its own folder is
// searched for the libraries it needs.
HMODULE loadQuietly(const std::string& file) {
  DWORD previous = 0;
  bool quiet = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
  HMODULE module = ::LoadLibraryExW(widePath(file).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (quiet) ::SetThreadErrorMode(previous, nullptr);
  return module;
}

ModuleHandle loadCandidate(const std::string& file, std::string& reason) {
  HMODULE module = loadQuietly(file);
  if (!module) reason = "error " + std::to_string(::GetLastError());
  return module;
}

}  // namespace

const char* javaVmLibraryName() { return "jvm.dll"; }

ModuleHandle loadJavaVmModule(const char* entryPoint, std::vector<std::string>& looked) {
  std::vector<JavaHome> homes;
  homes.push_back(bundledRuntime(executableFolder(), '\\'));
  std::string javaHome = environmentVariable("JAVA_HOME");
  if (!javaHome.empty()) {
    homes.push_back({withoutTrailingSeparator(javaHome), "JAVA_HOME", ""});
  } else {
    homes.push_back({"", "", "JAVA_HOME: not set"});
  }
  for (const char* key : kRegistryKeys) homes.push_back(registeredHome(key));
  std::string java = javaOnPath();
  std::string installation = java.empty() ? std::string() : installationOf(finalPath(java));
  if (!installation.empty()) {
    homes.push_back({installation, "the Java of " + java, ""});
  } else {
    homes.push_back(
        {"", "", java.empty() ? "PATH: no java.exe" : java + ": not a Java installation"});
  }

  return findJavaVm({homes, kLayouts, isFolder, isFile, loadCandidate}, entryPoint, looked);
}

}  // namespace platform
