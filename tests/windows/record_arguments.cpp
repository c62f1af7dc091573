// A stand-in for a document's program in the showFile tests: writes its command line, the
// arguments CommandLineToArgvW reads from it and its working directory, as UTF-8 lines, to the
// file that TAVOLIN_RECORD_FILE names (appending, so a second start is seen too).
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), bytes, nullptr, nullptr);
  result.resize(result.size() - 1);
  return result;
}

}  // namespace

int main() {
  wchar_t record[MAX_PATH + 1];
  if (!::GetEnvironmentVariableW(L"TAVOLIN_RECORD_FILE", record, MAX_PATH)) return 2;
  std::FILE* out = ::_wfopen(record, L"ab");
  if (!out) return 2;
  int count = 0;
  LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  wchar_t folder[MAX_PATH + 1];
  ::GetCurrentDirectoryW(MAX_PATH, folder);
  std::fprintf(out, "line=%s\ncwd=%s\nargc=%d\n", utf8(::GetCommandLineW()).c_str(),
               utf8(folder).c_str(), count);
  for (int i = 1; i < count; ++i) std::fprintf(out, "arg%d=%s\n", i, utf8(words[i]).c_str());
  std::fprintf(out, "end\n");
  std::fclose(out);
  ::LocalFree(words);
  return 0;
}
