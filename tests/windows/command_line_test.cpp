// The command line that starts a document's program, read back by CommandLineToArgvW: every
// word must come back exactly as it went in.
#include "platform/win32/command_line.h"

#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> readBack(const std::string& line) {
  int units = ::MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, wide.data(), units);
  int count = 0;
  LPWSTR* words = ::CommandLineToArgvW(wide.c_str(), &count);
  std::vector<std::string> result;
  for (int i = 0; words && i < count; ++i) {
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, words[i], -1, nullptr, 0, nullptr, nullptr);
    std::string word(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, words[i], -1, word.data(), bytes, nullptr, nullptr);
    word.resize(word.size() - 1);
    result.push_back(word);
  }
  ::LocalFree(words);
  return result;
}

struct ArgumentCase {
  const char* what;
  std::string argument;
};

class CommandLineTest : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(CommandLineTest, ProgramAndDocumentComeBackAsTwoWords) {
  const std::string program = "C:\\Program Files\\Viewer (x86)\\view.exe";
  std::vector<std::string> words =
      readBack(platform::win32::commandLine({program, GetParam().argument}));
  ASSERT_EQ(words.size(), 2u) << GetParam().what;
  EXPECT_EQ(words[0], program);
  EXPECT_EQ(words[1], GetParam().argument) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, CommandLineTest,
    ::testing::Values(ArgumentCase{"plain", "C:\\docs\\plain.txt"},
                      ArgumentCase{"spaces", "C:\\my docs\\a b  c.txt"},
                      ArgumentCase{"shell characters", "C:\\x\\a&b^c%PATH%(1)<2>|3.txt"},
                      ArgumentCase{"quotes", "say \"hi\".txt"},
                      ArgumentCase{"trailing backslash with space", "C:\\my folder\\"},
                      ArgumentCase{"backslashes before a quote", "a\\\\\"b"},
                      ArgumentCase{"backslashes inside", "\\\\server\\share\\x y"},
                      ArgumentCase{"tab", "a\tb"}, ArgumentCase{"empty", ""},
                      ArgumentCase{"Latin-1", "C:\\caf\xE9 \xE0 la cr\xE8me.txt"}));

TEST(CommandLine, LeavesAPlainArgumentUnquoted) {
  EXPECT_EQ(platform::win32::commandLine({"C:\\v.exe", "C:\\a.txt"}), "\"C:\\v.exe\" C:\\a.txt");
}

}  // namespace
