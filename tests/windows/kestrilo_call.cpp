// Calls one export of Kestrilo.dll with arguments from the command line and prints
// "result=<n>" on its own line: the Windows counterpart of the Java test program Call, for
// Wine, where no Java VM runs. The exports are found by name with GetProcAddress in the DLL
// (TAVOLIN_KESTRILO names it, else Kestrilo.dll beside this program), and called with test
// string handles and array objects laid out as the VM lays them out.
//
//   kestrilo_call copyToClipboard <text>
//   kestrilo_call showFile <directory> <file>
//   kestrilo_call makeCab <cabPath> <cabName> <file>...
//   kestrilo_call makeTransparent <gifFile>
//   kestrilo_call saveJPEG <jpegFile> <width> <height> <pixelFile>   (little-endian int32s)
//   kestrilo_call wav2au <wavFile> <auFile>
//   kestrilo_call exports        (prints each export's name and whether the DLL has it)
//   kestrilo_call codePage       (the result is the system's ANSI code page)
//
// Arguments may hold \uXXXX escapes; "@null" is a null string; "@file:<path>" the UTF-8
// contents of a file.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fakes/test_string.h"
#include "library/boundary/java_array.h"

namespace {

using Receiver = void*;

std::u16string fromUtf8(const std::string& bytes) {
  int units =
      ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                        units);
  return std::u16string(wide.begin(), wide.end());
}

std::u16string unescape(const std::string& argument) {
  std::u16string text;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    if (argument[i] == '\\' && i + 6 <= argument.size() && argument[i + 1] == 'u') {
      text += static_cast<char16_t>(std::strtoul(argument.substr(i + 2, 4).c_str(), nullptr, 16));
      i += 5;
    } else {
      text += static_cast<char16_t>(static_cast<unsigned char>(argument[i]));
    }
  }
  return text;
}

std::u16string decode(const std::string& argument) {
  if (argument.compare(0, 6, "@file:") == 0) {
    // The file's name is escaped too (its backslashes); it is ASCII.
    std::u16string name = unescape(argument.substr(6));
    std::ifstream in(std::string(name.begin(), name.end()), std::ios::binary);
    return fromUtf8({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
  }
  return unescape(argument);
}

// The strings of one call; a null string is a null handle.
class Strings {
 public:
  StringHandle operator()(const std::string& argument) {
    if (argument == "@null") return nullptr;
    strings_.push_back(std::make_unique<TestString>(decode(argument)));
    return strings_.back()->handle();
  }

 private:
  std::vector<std::unique_ptr<TestString>> strings_;
};

// An array object: 4 reserved bytes, the 32-bit count, then the elements.
template <typename Element>
std::vector<std::uint64_t> arrayObject(const std::vector<Element>& elements) {
  std::size_t bytes = arrayObjectSize(elements.size(), sizeof(Element));
  std::vector<std::uint64_t> storage((bytes + 7) / 8);
  auto* base = reinterpret_cast<unsigned char*>(storage.data());
  auto* header = reinterpret_cast<ArrayObject*>(base);
  header->reserved = 0;
  header->count = static_cast<std::int32_t>(elements.size());
  if (!elements.empty()) std::memcpy(base + 8, elements.data(), elements.size() * sizeof(Element));
  return storage;
}

// The pixel file's name is escaped like any argument; it is ASCII.
std::vector<std::int32_t> readPixels(const std::string& argument) {
  std::u16string file = unescape(argument);
  std::ifstream in(std::string(file.begin(), file.end()), std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::int32_t> pixels(bytes.size() / 4);
  std::memcpy(pixels.data(), bytes.data(), pixels.size() * 4);
  return pixels;
}

const char* const kExports[] = {
    "Kestrilo_copyToClipboard",
    "Kestrilo_showFile",
    "Kestrilo_makeCab",
    "Kestrilo_makeTransparent",
    "Kestrilo_saveJPEG",
    "Kestrilo_wav2au",
    "RNIGetCompatibleVersion",
    "Java_Kestrilo_copyToClipboard",
    "Java_Kestrilo_showFile",
    "Java_Kestrilo_makeCab",
    "Java_Kestrilo_makeTransparent",
    "Java_Kestrilo_saveJPEG",
    "Java_Kestrilo_wav2au",
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kestrilo_call <method> <arguments>...\n");
    return 2;
  }
  std::string library = "Kestrilo.dll";
  if (const char* named = std::getenv("TAVOLIN_KESTRILO"); named && *named) library = named;
  HMODULE module = ::LoadLibraryA(library.c_str());
  if (!module) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", library.c_str(), ::GetLastError());
    return 2;
  }
  // The export's address as a plain pointer; the caller gives it the export's type.
  auto entry = [&](const char* name) {
    void* found = reinterpret_cast<void*>(::GetProcAddress(module, name));
    if (!found) {
      std::fprintf(stderr, "%s is not exported\n", name);
      std::exit(2);
    }
    return found;
  };

  std::string method = argv[1];
  std::vector<std::string> a(argv + 2, argv + argc);
  Strings s;
  std::int32_t result = 0;
  if (method == "codePage") {
    result = static_cast<std::int32_t>(::GetACP());
  } else if (method == "exports") {
    for (const char* name : kExports) {
      std::printf("%s %s\n", name, ::GetProcAddress(module, name) ? "yes" : "no");
    }
    auto version = reinterpret_cast<std::int32_t (*)()>(entry("RNIGetCompatibleVersion"));
    result = version();
  } else if (method == "copyToClipboard" && a.size() == 1) {
    auto call = reinterpret_cast<std::int32_t (*)(Receiver, StringHandle)>(
        entry("Kestrilo_copyToClipboard"));
    result = call(nullptr, s(a[0]));
  } else if (method == "showFile" && a.size() == 2) {
    auto call = reinterpret_cast<std::int32_t (*)(Receiver, StringHandle, StringHandle)>(
        entry("Kestrilo_showFile"));
    result = call(nullptr, s(a[0]), s(a[1]));
  } else if (method == "makeCab" && a.size() >= 2) {
    std::vector<StringHandle> files;
    for (std::size_t i = 2; i < a.size(); ++i) files.push_back(s(a[i]));
    std::vector<std::uint64_t> array = arrayObject(files);
    auto call = reinterpret_cast<std::int32_t (*)(Receiver, const ArrayObject*, StringHandle,
                                                  StringHandle)>(entry("Kestrilo_makeCab"));
    result = call(nullptr, reinterpret_cast<const ArrayObject*>(array.data()), s(a[0]), s(a[1]));
  } else if (method == "makeTransparent" && a.size() == 1) {
    auto call = reinterpret_cast<std::int32_t (*)(Receiver, StringHandle)>(
        entry("Kestrilo_makeTransparent"));
    result = call(nullptr, s(a[0]));
  } else if (method == "saveJPEG" && a.size() == 4) {
    std::vector<std::uint64_t> array = arrayObject(readPixels(a[3]));
    auto call =
        reinterpret_cast<std::int32_t (*)(Receiver, StringHandle, const ArrayObject*, std::int32_t,
                                          std::int32_t)>(entry("Kestrilo_saveJPEG"));
    result = call(nullptr, s(a[0]), reinterpret_cast<const ArrayObject*>(array.data()),
                  std::atoi(a[1].c_str()), std::atoi(a[2].c_str()));
  } else if (method == "wav2au" && a.size() == 2) {
    auto call = reinterpret_cast<std::int32_t (*)(Receiver, StringHandle, StringHandle)>(
        entry("Kestrilo_wav2au"));
    result = call(nullptr, s(a[0]), s(a[1]));
  } else {
    std::fprintf(stderr, "unknown method or wrong arguments: %s\n", method.c_str());
    return 2;
  }
  std::fflush(stdout);
  std::printf("result=%d\n", static_cast<int>(result));
  std::fflush(stdout);
  return 0;
}
