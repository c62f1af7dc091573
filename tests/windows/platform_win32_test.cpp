// The Windows platform layer on Wine's (or Windows') own services: files and their replacement,
// the runtime's file calls, DOS dates, attributes, temporary files, modules and memory.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "fakes/temp_folder.h"
#include "platform/platform.h"

namespace {

std::string contentsOf(const std::string& name) {
  platform::FileHandle file = platform::openFileForReading(name.c_str());
  if (file == platform::kInvalidFile) return "<none>";
  std::string bytes(static_cast<std::size_t>(platform::fileSize(file)), '\0');
  std::int64_t got = platform::readFile(file, bytes.data(), bytes.size());
  platform::closeFile(file);
  return got == static_cast<std::int64_t>(bytes.size()) ? bytes : "<short>";
}

TEST(Win32Files, WritesAndReadsBackThroughHandles) {
  TempFolder folder;
  std::string name = folder.file("data.bin");
  platform::FileHandle file = platform::createFile(name.c_str());
  ASSERT_NE(file, platform::kInvalidFile);
  EXPECT_EQ(platform::writeFile(file, "abc\0def", 7), 7);
  EXPECT_EQ(platform::fileSize(file), 7);
  EXPECT_TRUE(platform::isRegularFile(file));
  platform::closeFile(file);
  EXPECT_EQ(contentsOf(name), std::string("abc\0def", 7));
}

TEST(Win32Files, OpensNeitherAMissingFileNorAFolder) {
  TempFolder folder;
  EXPECT_EQ(platform::openFileForReading(folder.file("missing").c_str()), platform::kInvalidFile);
  EXPECT_EQ(platform::openFileForReading(folder.path().string().c_str()), platform::kInvalidFile);
}

TEST(Win32Files, HandsLatin1NamesOverAsAnsiText) {
  TempFolder folder;
  // The same name reached through the wide function: the ANSI name was taken as code page text.
  ASSERT_EQ(::GetACP(), 1252u) << "the tests expect the Western European ANSI code page";
  std::string name = folder.path().string() + "\\caf\xE9.txt";
  platform::FileHandle file = platform::createFile(name.c_str());
  ASSERT_NE(file, platform::kInvalidFile);
  platform::closeFile(file);
  std::wstring wide = folder.path().wstring() + L"\\caf\u00E9.txt";
  EXPECT_NE(::GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(platform::nativeName("caf\xE9"), "caf\xE9");
}

TEST(Win32Files, SiblingTempFilesAreNewAndBesideTheTarget) {
  TempFolder folder;
  std::string target = folder.write("picture.gif", "old");
  std::string first;
  std::string second;
  platform::FileHandle a = platform::createSiblingTempFile(target.c_str(), first);
  platform::FileHandle b = platform::createSiblingTempFile(target.c_str(), second);
  ASSERT_NE(a, platform::kInvalidFile);
  ASSERT_NE(b, platform::kInvalidFile);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.compare(0, target.size(), target), 0);
  EXPECT_EQ(platform::fileSize(a), 0);
  platform::closeFile(a);
  platform::closeFile(b);
  EXPECT_EQ(contentsOf(target), "old");
}

TEST(Win32Files, ReplacesAnExistingTargetAndPlacesAMissingOne) {
  TempFolder folder;
  std::string target = folder.write("out.au", "old");
  std::string replacement = folder.write("out.au.new", "new");
  EXPECT_TRUE(platform::replaceFile(replacement.c_str(), target.c_str()));
  EXPECT_EQ(contentsOf(target), "new");
  EXPECT_EQ(contentsOf(replacement), "<none>");

  std::string fresh = folder.write("fresh.new", "fresh");
  EXPECT_TRUE(platform::replaceFile(fresh.c_str(), folder.file("fresh.au").c_str()));
  EXPECT_EQ(contentsOf(folder.file("fresh.au")), "fresh");
}

struct TargetCase {
  const char* what;
  DWORD attributes;  // 0: the target does not exist; FILE_ATTRIBUTE_DIRECTORY: a folder
  bool adopted;
};

class AdoptTargetTest : public ::testing::TestWithParam<TargetCase> {};

TEST_P(AdoptTargetTest, RefusesWhatMustNotBeReplaced) {
  TempFolder folder;
  std::string target = folder.file("target");
  if (GetParam().attributes == FILE_ATTRIBUTE_DIRECTORY) {
    ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
  } else if (GetParam().attributes != 0) {
    folder.write("target", "keep");
    ASSERT_TRUE(::SetFileAttributesA(target.c_str(), GetParam().attributes));
  }
  std::string tempName;
  platform::FileHandle file = platform::createSiblingTempFile(target.c_str(), tempName);
  ASSERT_NE(file, platform::kInvalidFile);
  EXPECT_EQ(platform::adoptTargetPermissions(file, target.c_str()), GetParam().adopted)
      << GetParam().what;
  platform::closeFile(file);
  ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
}

INSTANTIATE_TEST_SUITE_P(Targets, AdoptTargetTest,
                         ::testing::Values(TargetCase{"missing", 0, true},
                                           TargetCase{"ordinary", FILE_ATTRIBUTE_NORMAL, true},
                                           TargetCase{"read-only", FILE_ATTRIBUTE_READONLY, false},
                                           TargetCase{"folder", FILE_ATTRIBUTE_DIRECTORY, false}));

TEST(Win32RuntimeFiles, OpenWriteSeekReadCloseRemove) {
  TempFolder folder;
  std::string name = folder.file("cab.tmp");
  int error = 0;
  platform::FileHandle file = platform::runtimeOpen(
      name.c_str(),
      platform::kRuntimeReadWrite | platform::kRuntimeCreate | platform::kRuntimeExclusive,
      platform::kRuntimePermissionRead | platform::kRuntimePermissionWrite, error);
  ASSERT_NE(file, platform::kInvalidFile);
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
            platform::kInvalidFile);
  EXPECT_EQ(error, EEXIST);
  EXPECT_EQ(platform::runtimeRemove(name.c_str(), error), 0);
  EXPECT_EQ(platform::runtimeRemove(name.c_str(), error), -1);
  EXPECT_EQ(error, ENOENT);
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
  platform::FileHandle file = platform::runtimeOpen(
      first.c_str(),
      platform::kRuntimeReadWrite | platform::kRuntimeCreate | platform::kRuntimeExclusive |
          platform::kRuntimeBinary,
      platform::kRuntimePermissionRead | platform::kRuntimePermissionWrite, error);
  EXPECT_NE(file, platform::kInvalidFile) << "error " << error;
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
