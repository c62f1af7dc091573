// The Windows platform layer on Wine's (or Windows') own services: files and their replacement,
// the runtime's file calls, DOS dates, attributes, temporary files, modules and memory.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "fakes/temp_folder.h"
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace {

std::string contentsOf(const std::string& name) {
  platform::FileHandle file = platform::openFileForReading(name.c_str());
  if (file == platform::kInvalidFile) return "<none>";
  std::string bytes(static_cast<std::size_t>(platform::fileSize(file)), '\0');
  std::int64_t got = platform::readFile(file, bytes.data(), bytes.size());
  platform::closeFile(file);
  return got == static_cast<std::int64_t>(bytes.size()) ? bytes : "<short>";
}

// A file made the way every writer makes one: a sibling of the target, moved into its place.
bool replaceWith(const std::string& name, const std::string& contents) {
  platform::ReplacementTarget target;
  if (platform::findReplacementTarget(name.c_str(), target) != platform::FileFault::kNone) {
    return false;
  }
  std::string sibling;
  platform::FileFault fault = platform::FileFault::kNone;
  platform::FileHandle file = platform::createSibling(target, sibling, fault);
  if (file == platform::kInvalidFile) return false;
  bool written = platform::writeFile(file, contents.data(), contents.size()) ==
                 static_cast<std::int64_t>(contents.size());
  if (written && platform::placeSibling(file, sibling, target) == platform::FileFault::kNone) {
    return true;
  }
  platform::closeFile(file);
  platform::removeSibling(sibling);
  return false;
}

TEST(Win32Files, ReplacesAnExistingFileAndMakesAMissingOne) {
  TempFolder folder;
  std::string existing = folder.write("out.au", "old");
  ASSERT_TRUE(replaceWith(existing, std::string("new\0data", 8)));
  EXPECT_EQ(contentsOf(existing), std::string("new\0data", 8));
  ASSERT_TRUE(replaceWith(folder.file("fresh.au"), "fresh"));
  EXPECT_EQ(contentsOf(folder.file("fresh.au")), "fresh");
  // Nothing is left beside them.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            2);
}

TEST(Win32Files, ReplacesAFileThatIsOpenForReading) {
  // A conversion onto its own input still reads the input while the output is written.
  TempFolder folder;
  std::string name = folder.write("sound.wav", "input");
  platform::FileHandle reader = platform::openFileForReading(name.c_str());
  ASSERT_NE(reader, platform::kInvalidFile);
  EXPECT_TRUE(replaceWith(name, "output"));
  char got[5] = {};
  EXPECT_EQ(platform::readFileAt(reader, got, 5, 0), 5);
  EXPECT_EQ(std::string(got, 5), "input");
  platform::closeFile(reader);
  EXPECT_EQ(contentsOf(name), "output");
}

TEST(Win32Files, ReplacementKeepsTheTargetsAttributes) {
  TempFolder folder;
  std::string name = folder.write("shown.gif", "old");
  ASSERT_TRUE(::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(replaceWith(name, "new"));
  EXPECT_TRUE(::GetFileAttributesA(name.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  ::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32Files, PositionedReadsLeaveThePositionAlone) {
  TempFolder folder;
  std::string name = folder.write("data.bin", "0123456789");
  platform::FileHandle file = platform::openFileForReading(name.c_str());
  ASSERT_NE(file, platform::kInvalidFile);
  char got[4] = {};
  EXPECT_EQ(platform::readFile(file, got, 2), 2);
  EXPECT_EQ(platform::readFileAt(file, got, 4, 6), 4);
  EXPECT_EQ(std::string(got, 4), "6789");
  EXPECT_EQ(platform::readFileAt(file, got, 4, 10), 0);
  EXPECT_EQ(platform::readFile(file, got, 3), 3);
  EXPECT_EQ(std::string(got, 3), "234");
  EXPECT_EQ(platform::fileSize(file), 10);
  EXPECT_TRUE(platform::closeFile(file));
}

TEST(Win32Files, OpensOnlyOrdinaryFilesForReading) {
  TempFolder folder;
  for (const std::string& name : {folder.file("missing"), folder.path().string(),
                                  std::string("NUL"), std::string("CON"), std::string()}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(platform::openFileForReading(name.c_str()), platform::kInvalidFile);
  }
}

TEST(Win32Files, HandsUtf8NamesOverAsUtf16WhateverTheCodePage) {
  // The same name reached through the wide function, and nothing under the code page's reading
  // of the bytes (under 1252 "cafÃ©.txt").
  TempFolder folder;
  ASSERT_TRUE(replaceWith(folder.path().string() + "\\caf\xC3\xA9.txt", "x"));
  std::wstring wide = folder.path().wstring() + L"\\caf\u00E9.txt";
  EXPECT_NE(::GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
  std::wstring misread = folder.path().wstring() + L"\\caf\u00C3\u00A9.txt";
  EXPECT_EQ(::GetFileAttributesW(misread.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(platform::nativeName("caf\xC3\xA9"), "caf\xC3\xA9");
}

// 255 characters in all, the last part a single one: the new file beside it has a name past
// MAX_PATH, which the system takes in its long form.
TEST(Win32Files, TheLongestNameWithAOneCharacterLastPartIsReplaced) {
  TempFolder folder;
  std::wstring base = folder.path().wstring();
  ASSERT_LT(base.size(), 200u);
  std::wstring deep = base + L"\\" + std::wstring(255 - base.size() - 3, L'f');
  ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
  std::string name = platform::win32::utf8(deep.c_str()) + "\\b";
  ASSERT_EQ(name.size(), 255u);
  ASSERT_TRUE(replaceWith(name, "first")) << ::GetLastError();
  EXPECT_EQ(contentsOf(name), "first");
  platform::removeFile(name.c_str());
  EXPECT_TRUE(::RemoveDirectoryW((L"\\\\?\\" + deep).c_str()));
}

TEST(Win32Text, Utf8AndUtf16) {
  const struct {
    const char* utf8;
    std::wstring utf16;
  } cases[] = {
      {"plain", L"plain"},
      {"caf\xC3\xA9 \xC2\x80\xC3\xBF", L"caf\u00e9 \u0080\u00ff"},
      {"\xE2\x82\xAC \xF0\x9F\x98\x80", L"\u20ac \U0001F600"},
      {"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(platform::win32::wide(c.utf8), c.utf16);
    EXPECT_EQ(platform::win32::utf8(c.utf16.c_str()), c.utf8);
  }
  // A byte that is no UTF-8 is never read in a code page.
  EXPECT_EQ(platform::win32::wide("caf\xE9"), L"caf\ufffd");
  EXPECT_EQ(platform::win32::wide(nullptr), L"");
}

TEST(Win32Text, LongNamesTakeTheirLongForm) {
  const std::string longPart(300, 'l');
  const struct {
    const char* what;
    std::string name;
    std::wstring expected;
  } cases[] = {
      {"short", "C:\\a\\b.txt", L"C:\\a\\b.txt"},
      {"short and relative", "b.txt", L"b.txt"},
      {"long", "C:\\" + longPart + "\\..\\b/c", L"\\\\?\\C:\\b\\c"},
      {"long on a share", "\\\\server\\share\\" + longPart,
       L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'l')},
      {"already long", "\\\\?\\C:\\" + longPart, L"\\\\?\\C:\\" + std::wstring(300, L'l')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(platform::win32::widePath(c.name), c.expected);
  }
}

struct TargetCase {
  const char* what;
  DWORD attributes;  // 0: the target does not exist; FILE_ATTRIBUTE_DIRECTORY: a folder
  bool found;
};

class ReplacementTargetTest : public ::testing::TestWithParam<TargetCase> {};

TEST_P(ReplacementTargetTest, RefusesWhatMustNotBeReplaced) {
  TempFolder folder;
  std::string name = folder.file("target");
  if (GetParam().attributes == FILE_ATTRIBUTE_DIRECTORY) {
    ASSERT_TRUE(::CreateDirectoryA(name.c_str(), nullptr));
  } else if (GetParam().attributes != 0) {
    folder.write("target", "keep");
    ASSERT_TRUE(::SetFileAttributesA(name.c_str(), GetParam().attributes));
  }
  platform::ReplacementTarget target;
  EXPECT_EQ(platform::findReplacementTarget(name.c_str(), target) == platform::FileFault::kNone,
            GetParam().found);
  if (GetParam().found) {
    EXPECT_EQ(target.exists, GetParam().attributes != 0);
    EXPECT_EQ(target.folder, folder.path().string());
  }
  ::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
}

INSTANTIATE_TEST_SUITE_P(Targets, ReplacementTargetTest,
                         ::testing::Values(TargetCase{"missing", 0, true},
                                           TargetCase{"ordinary", FILE_ATTRIBUTE_NORMAL, true},
                                           TargetCase{"read-only", FILE_ATTRIBUTE_READONLY, false},
                                           TargetCase{"folder", FILE_ATTRIBUTE_DIRECTORY, false}));

TEST(Win32Files, NeverReplacesADevice) {
  for (const char* name : {"NUL", "CON", ""}) {
    SCOPED_TRACE(name);
    platform::ReplacementTarget target;
    EXPECT_EQ(platform::findReplacementTarget(name, target), platform::FileFault::kRefused);
  }
}

struct FolderCase {
  const char* name;
  const char* folder;
};

class TargetFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(TargetFolderTest, IsWhereTheNewFileIsMade) {
  platform::ReplacementTarget target;
  ASSERT_EQ(platform::findReplacementTarget(GetParam().name, target), platform::FileFault::kNone);
  EXPECT_FALSE(target.exists);
  EXPECT_EQ(target.folder, GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(Names, TargetFolderTest,
                         ::testing::Values(FolderCase{"none-such.gif", "."},
                                           FolderCase{"C:\\none-such.gif", "C:\\"},
                                           FolderCase{"C:none-such.gif", "C:"},
                                           FolderCase{"\\none-such.gif", "\\"},
                                           FolderCase{"C:\\x\\none-such.gif", "C:\\x"},
                                           FolderCase{"C:/x/none-such.gif", "C:/x"}));

TEST(Win32Files, SiblingsAreNewShortNamesBesideTheTarget) {
  TempFolder folder;
  platform::ReplacementTarget target;
  ASSERT_EQ(platform::findReplacementTarget(folder.write("picture.gif", "old").c_str(), target),
            platform::FileFault::kNone);
  std::string first;
  std::string second;
  platform::FileFault fault = platform::FileFault::kFailed;
  platform::FileHandle a = platform::createSibling(target, first, fault);
  platform::FileHandle b = platform::createSibling(target, second, fault);
  ASSERT_NE(a, platform::kInvalidFile);
  ASSERT_NE(b, platform::kInvalidFile);
  EXPECT_EQ(fault, platform::FileFault::kNone);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.compare(0, folder.path().string().size() + 4, folder.path().string() + "\\.tv"),
            0)
      << first;
  EXPECT_EQ(platform::fileSize(a), 0);
  platform::closeFile(a);
  platform::closeFile(b);
  platform::removeSibling(first);
  platform::removeSibling(second);
  EXPECT_EQ(contentsOf(target.path), "old");
  EXPECT_EQ(contentsOf(first), "<none>");
}

TEST(Win32Files, InPlaceWritesAndScratchFiles) {
  TempFolder folder;
  platform::ReplacementTarget target;
  ASSERT_EQ(
      platform::findReplacementTarget(folder.write("kept.au", "old contents").c_str(), target),
      platform::FileFault::kNone);
  platform::FileHandle scratch = platform::createScratchFile();
  ASSERT_NE(scratch, platform::kInvalidFile);
  EXPECT_EQ(platform::writeFile(scratch, "new", 3), 3);
  char got[3] = {};
  EXPECT_EQ(platform::readFileAt(scratch, got, 3, 0), 3);
  EXPECT_TRUE(platform::closeFile(scratch));

  platform::FileHandle file = platform::openTargetInPlace(target);
  ASSERT_NE(file, platform::kInvalidFile);
  EXPECT_EQ(platform::writeFile(file, got, 3), 3);
  EXPECT_TRUE(platform::setFileLength(file, 3));
  EXPECT_TRUE(platform::closeFile(file));
  EXPECT_EQ(contentsOf(target.path), "new");
}

TEST(Win32RuntimeFiles, OpenWriteSeekReadCloseRemove) {
  TempFolder folder;
  std::string name = folder.file("cab.tmp");
  int error = 0;
  platform::RuntimeFile file = platform::runtimeOpen(
      name.c_str(),
      platform::kRuntimeReadWrite | platform::kRuntimeCreate | platform::kRuntimeExclusive,
      platform::kRuntimePermissionRead | platform::kRuntimePermissionWrite, error);
  ASSERT_NE(file, platform::kInvalidRuntimeFile);
  // Binary whatever the flags: a line feed stays one byte.
  EXPECT_EQ(platform::runtimeWrite(file, "a\nb", 3, error), 3);
  EXPECT_EQ(platform::runtimeSeek(file, 1, 0, error), 1);
  char got[4] = {};
  EXPECT_EQ(platform::runtimeRead(file, got, 3, error), 2);
  EXPECT_STREQ(got, "\nb");
  EXPECT_EQ(platform::runtimeSeek(file, 0, 2, error), 3);
  EXPECT_EQ(platform::runtimeClose(file, error), 0);

  error = 0;
  EXPECT_EQ(platform::runtimeOpen(name.c_str(),
                                  platform::kRuntimeReadWrite | platform::kRuntimeCreate |
                                      platform::kRuntimeExclusive,
                                  platform::kRuntimePermissionWrite, error),
            platform::kInvalidRuntimeFile);
  EXPECT_EQ(error, EEXIST);
  EXPECT_EQ(platform::runtimeRemove(name.c_str(), error), 0);
  EXPECT_EQ(platform::runtimeRemove(name.c_str(), error), -1);
  EXPECT_EQ(error, ENOENT);

  // A device name is not a file to write a cabinet to.
  EXPECT_EQ(platform::runtimeOpen("NUL", platform::kRuntimeWriteOnly | platform::kRuntimeCreate,
                                  platform::kRuntimePermissionWrite, error),
            platform::kInvalidRuntimeFile);
  EXPECT_EQ(error, EINVAL);
}

struct DosTimeCase {
  const char* what;
  SYSTEMTIME local;  // the file's last write, local time
  std::uint16_t date;
  std::uint16_t time;
};

class DosTimeTest : public ::testing::TestWithParam<DosTimeCase> {};

TEST_P(DosTimeTest, GivesTheLocalDosDateAndTime) {
  TempFolder folder;
  std::string name = folder.write("dated", "x");
  FILETIME local;
  FILETIME universal;
  ASSERT_TRUE(::SystemTimeToFileTime(&GetParam().local, &local));
  ASSERT_TRUE(::LocalFileTimeToFileTime(&local, &universal));
  HANDLE handle =
      ::CreateFileA(name.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(::SetFileTime(handle, nullptr, nullptr, &universal));
  ::CloseHandle(handle);

  platform::FileHandle file = platform::openFileForReading(name.c_str());
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  ASSERT_TRUE(platform::lastWriteDosDateTime(file, date, time));
  platform::closeFile(file);
  EXPECT_EQ(date, GetParam().date) << GetParam().what;
  EXPECT_EQ(time, GetParam().time) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Dates, DosTimeTest,
                         ::testing::Values(
                             // 2021-07-15 13:45:31 (odd seconds go down to the 2-second step)
                             DosTimeCase{"ordinary",
                                         {2021, 7, 4, 15, 13, 45, 31, 0},
                                         static_cast<std::uint16_t>((41 << 9) | (7 << 5) | 15),
                                         static_cast<std::uint16_t>((13 << 11) | (45 << 5) | 15)},
                             DosTimeCase{"first day", {1980, 1, 2, 1, 0, 0, 0, 0}, (1 << 5) | 1, 0},
                             DosTimeCase{
                                 "before 1980", {1975, 6, 0, 1, 12, 0, 0, 0}, (1 << 5) | 1, 0},
                             DosTimeCase{"after 2107",
                                         {2120, 3, 0, 1, 8, 0, 0, 0},
                                         static_cast<std::uint16_t>((127 << 9) | (12 << 5) | 31),
                                         static_cast<std::uint16_t>((23 << 11) | (59 << 5) | 29)}));

TEST(Win32Attributes, AreTheSystemsOwnBits) {
  TempFolder folder;
  std::string name = folder.write("marked", "x");
  ASSERT_TRUE(::SetFileAttributesA(
      name.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  std::uint32_t attributes = 0;
  ASSERT_TRUE(platform::fileAttributes(name.c_str(), attributes));
  EXPECT_EQ(attributes, platform::kAttributeReadOnly | platform::kAttributeHidden |
                            platform::kAttributeArchive);
  ::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);

  ASSERT_TRUE(platform::fileAttributes(folder.path().string().c_str(), attributes));
  EXPECT_TRUE(attributes & platform::kAttributeDirectory);
  EXPECT_FALSE(platform::fileAttributes(folder.file("missing").c_str(), attributes));
}

TEST(Win32TempFiles, AreNamedInTheTemporaryFolderForAnExclusiveCreate) {
  std::string first;
  ASSERT_TRUE(platform::createTempFile("xx", first));
  char folder[MAX_PATH + 1];
  DWORD length = ::GetTempPathA(sizeof folder, folder);
  EXPECT_EQ(first.compare(0, length, folder), 0) << first;
  EXPECT_EQ(first.compare(length, 2, "xx"), 0) << first;
  // The cabinet library opens it as the system's sample callbacks have it: create, exclusive.
  int error = 0;
  platform::RuntimeFile file = platform::runtimeOpen(
      first.c_str(),
      platform::kRuntimeReadWrite | platform::kRuntimeCreate | platform::kRuntimeExclusive |
          platform::kRuntimeBinary,
      platform::kRuntimePermissionRead | platform::kRuntimePermissionWrite, error);
  EXPECT_NE(file, platform::kInvalidRuntimeFile) << "error " << error;
  platform::runtimeClose(file, error);
  // While that file exists its name is not given again.
  std::string second;
  ASSERT_TRUE(platform::createTempFile("xx", second));
  EXPECT_NE(second, first);
  EXPECT_TRUE(platform::removeFile(first.c_str()));
}

TEST(Win32Modules, LoadsTheSystemsCabinetLibrary) {
  platform::ModuleHandle cabinet = platform::loadModule("CABINET");
  ASSERT_NE(cabinet, nullptr);
  for (const char* name :
       {"FCICreate", "FCIAddFile", "FCIFlushFolder", "FCIFlushCabinet", "FCIDestroy"}) {
    EXPECT_NE(platform::findSymbol(cabinet, name), nullptr) << name;
  }
  platform::freeModule(cabinet);
  EXPECT_EQ(platform::loadModule("NO_SUCH_MODULE_HERE"), nullptr);
}

TEST(Win32Modules, KnowsTheFolderOfTheProgram) {
  char path[MAX_PATH + 1];
  DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  std::string own(path, length);
  EXPECT_EQ(platform::moduleFolder(reinterpret_cast<const void*>(&contentsOf)),
            own.substr(0, own.find_last_of('\\')));
}

TEST(Win32Directories, SystemDirectoryIsTheWindowsDirectory) {
  char folder[MAX_PATH + 1];
  UINT length = ::GetWindowsDirectoryA(folder, sizeof folder);
  EXPECT_EQ(platform::systemDirectory(), std::string(folder, length));
}

struct JoinCase {
  const char* folder;
  const char* name;
  const char* joined;
};

class JoinedNameTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinedNameTest, IsWhatTheNameMeansWithTheFolderCurrent) {
  EXPECT_EQ(platform::joinedName(GetParam().folder, GetParam().name), GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(
    Names, JoinedNameTest,
    ::testing::Values(JoinCase{"C:\\cabs", "a.txt", "C:\\cabs\\a.txt"},
                      JoinCase{"C:\\cabs\\", "sub\\a.txt", "C:\\cabs\\sub\\a.txt"},
                      JoinCase{"Z:/tmp/", "a.txt", "Z:/tmp/a.txt"},
                      JoinCase{"C:\\cabs", "D:\\x.txt", "D:\\x.txt"},
                      JoinCase{"C:\\cabs", "\\\\server\\share\\x", "\\\\server\\share\\x"},
                      JoinCase{"C:\\cabs", "\\root.txt", "\\root.txt"},
                      JoinCase{"", "a.txt", "a.txt"}));

TEST(Win32Memory, ZeroFillsAndKeepsBytesWhenGrowing) {
  auto* block = static_cast<unsigned char*>(platform::memory().allocate(4096, true));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[0] | block[2048] | block[4095], 0);
  std::memcpy(block, "kept", 4);
  block = static_cast<unsigned char*>(platform::memory().reallocate(block, 1 << 20));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::memcmp(block, "kept", 4), 0);
  platform::memory().release(block);
}

}  // namespace

namespace {

// The count follows the process's affinity mask; the test process's own is restored afterwards.
TEST(Win32Threads, ProcessorsAreTheOnesTheProcessMayRunOn) {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
  EXPECT_GE(platform::usableProcessorCount(), 1u);
  DWORD_PTR lowest = process & (~process + 1);
  if (!SetProcessAffinityMask(GetCurrentProcess(), lowest)) {
    GTEST_SKIP() << "this system does not let the process narrow its affinity";
  }
  unsigned confined = platform::usableProcessorCount();
  SetProcessAffinityMask(GetCurrentProcess(), process);
  EXPECT_EQ(confined, 1u);
}

}  // namespace
