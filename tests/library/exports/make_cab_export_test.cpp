#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "fakes/current_directory.h"
#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/cabinet/cabinet_test_support.h"
#include "library/exports/exports.h"

namespace {

// An array object of string handles over test strings.
class TestStringArray {
 public:
  explicit TestStringArray(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) strings_.push_back(TestString::latin1(text));
    block_.resize(arrayObjectSize(strings_.size(), sizeof(StringHandle)) / sizeof(StringHandle) +
                  1);
    auto* header = reinterpret_cast<ArrayObject*>(block_.data());
    header->reserved = 0;
    header->count = static_cast<std::int32_t>(strings_.size());
    for (std::size_t i = 0; i < strings_.size(); ++i) block_[1 + i] = strings_[i].handle();
  }
  const ArrayObject* object() const { return reinterpret_cast<const ArrayObject*>(block_.data()); }

 private:
  std::vector<TestString> strings_;
  std::vector<StringHandle> block_;
};

class MakeCab : public ::testing::Test {
 protected:
  std::string makeCab(const std::vector<std::string>& entries, const std::string& path,
                      const std::string& name, std::int32_t& result) {
    TestStringArray files(entries);
    TestString pathString = TestString::latin1(path);
    TestString nameString = TestString::latin1(name);
    ::testing::internal::CaptureStdout();
    result = Kestrilo_makeCab(nullptr, files.object(), pathString.handle(), nameString.handle());
    return ::testing::internal::GetCapturedStdout();
  }
  TempFolder folder;
  CabinetModule module{TAVOLIN_CABWRITER_MODULE};
};

TEST_F(MakeCab, RelativeEntriesAreReadFromTheCabinetPathAndTheDirectoryComesBack) {
  std::filesystem::create_directories(folder.path() / "cab" / "sub");
  folder.write("cab/sub/s.txt", "in the subfolder\n");
  folder.write("cab/a.txt", "alpha\n");
  const auto before = std::filesystem::current_path();
  for (const std::vector<std::string>& entries :
       {std::vector<std::string>{"a.txt", "sub/s.txt"}, std::vector<std::string>{"missing"}}) {
    std::int32_t result = 0;
    makeCab(entries, folder.file("cab"), "out.cab", result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::filesystem::current_path(), before);
  }
  auto parsed = parseCabinet(folder.read("cab/out.cab"));
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->files.size(), 2u);
  EXPECT_EQ(parsed->files[1].name, "sub\\s.txt");
  EXPECT_EQ(parsed->files[1].size, 17u);
}

// A relative cabinet path is taken from the current directory, once: the cabinet and its
// relative entries are found in that folder, also under a current directory whose path alone
// exceeds every 256-byte buffer.
TEST_F(MakeCab, ARelativeCabinetPathIsTakenFromTheCurrentDirectoryOnce) {
  std::filesystem::path deep = folder.path();
  for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
  struct Case {
    std::filesystem::path current;
    const char* cabPath;
    const char* cabName;
  } cases[] = {
      {folder.path(), "cab", "relative.cab"},
      {deep, "out", "x.cab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cabName);
    std::filesystem::create_directories(c.current / c.cabPath);
    std::ofstream(c.current / c.cabPath / "a.txt") << "alpha\n";
    KeptCurrentDirectory current;
    ASSERT_TRUE(current.enter(c.current));
    std::int32_t result = 0;
    std::string printed = makeCab({"a.txt"}, c.cabPath, c.cabName, result);
    const std::string cabinet =
        folder.read((c.current / c.cabPath / c.cabName).lexically_relative(folder.path()));
    const bool doubled = std::filesystem::exists(c.current / c.cabPath / c.cabPath);
    ASSERT_TRUE(current.restore());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(printed, "");
    EXPECT_FALSE(doubled);
    auto parsed = parseCabinet(cabinet);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->files.size(), 1u);
    EXPECT_EQ(parsed->files[0].name, "a.txt");
  }
}

TEST_F(MakeCab, APathOrNameLongerThan255CharactersIsRefused) {
  folder.write("a.txt", "alpha\n");
  const std::string path = folder.path().string();
  const std::string longName = std::string(256 - 4, 'n') + ".cab";
  const std::string longPath = path + "/" + std::string(300, 'p');
  // 255 characters or fewer, but more than the parameters record's 255 bytes in UTF-8.
  const std::string wideName = std::string(200, '\xE9') + ".cab";
  for (const auto& [cabPath, cabName] :
       {std::pair{path, longName}, std::pair{longPath, std::string("out.cab")},
        std::pair{path, wideName}}) {
    std::int32_t result = 0;
    std::string printed = makeCab({"a.txt"}, cabPath, cabName, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
  }
}

// The names arrive as 8-bit (Latin-1) text: the files are opened and made under their UTF-8
// names, and the cabinet stores each entry's 8-bit text as it is.
TEST_F(MakeCab, Latin1NamesOpenTheirUtf8FilesAndAreStoredAsTheyAre) {
  std::filesystem::create_directories(folder.path() / "dossier \xC3\xA9t\xC3\xA9");
  folder.write("dossier \xC3\xA9t\xC3\xA9/caf\xC3\xA9.txt", "the named file\n");
  folder.write("dossier \xC3\xA9t\xC3\xA9/caf\xE9.txt", "its Latin-1 bytes: another file\n");
  std::int32_t result = 0;
  std::string printed =
      makeCab({"caf\xE9.txt"}, folder.file("dossier \xE9t\xE9"), "\xFC\x80.cab", result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(printed, "");
  auto parsed = parseCabinet(folder.read("dossier \xC3\xA9t\xC3\xA9/\xC3\xBC\xC2\x80.cab"));
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->files.size(), 1u);
  EXPECT_EQ(parsed->files[0].name, "caf\xE9.txt");
  EXPECT_EQ(parsed->files[0].size, 15u);
}

// Only the entry is bounded: a long relative entry is stored although the cabinet path joined
// with it passes 256 bytes.
TEST_F(MakeCab, ALongRelativeEntryIsStoredWhateverTheJoinedLength) {
  const std::string entry(240, 'e');
  ASSERT_GT(folder.path().string().size() + 1 + entry.size(), 256u);
  folder.write(entry, "long once joined\n");
  std::int32_t result = 0;
  std::string printed = makeCab({entry}, folder.path().string(), "out.cab", result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(printed, "");
  EXPECT_GT(std::filesystem::file_size(folder.path() / "out.cab"), entry.size());
}

// Builds on many threads at once, each from a folder of its own with the same relative entry
// name: every cabinet holds its own folder's file, and the current directory stays.
TEST_F(MakeCab, ConcurrentBuildsEachReadTheirOwnFolder) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 6;
  for (int t = 0; t < kThreads; ++t) {
    std::filesystem::create_directories(folder.path() / std::to_string(t));
    // The sizes tell the folders apart in the cabinet's file table.
    folder.write(std::to_string(t) + "/same.txt", std::string(10 + t, 'x'));
  }
  const auto before = std::filesystem::current_path();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      TestStringArray files({"same.txt"});
      TestString path = TestString::latin1(folder.file(std::to_string(t)));
      for (int round = 0; round < kRounds; ++round) {
        TestString name = TestString::latin1("r" + std::to_string(round) + ".cab");
        Kestrilo_makeCab(nullptr, files.object(), path.handle(), name.handle());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(std::filesystem::current_path(), before);
  for (int t = 0; t < kThreads; ++t) {
    for (int round = 0; round < kRounds; ++round) {
      const std::string cabinet = std::to_string(t) + "/r" + std::to_string(round) + ".cab";
      auto parsed = parseCabinet(folder.read(cabinet));
      ASSERT_TRUE(parsed) << cabinet;
      ASSERT_EQ(parsed->files.size(), 1u) << cabinet;
      EXPECT_EQ(parsed->files[0].size, 10u + t) << cabinet;
    }
  }
}

TEST_F(MakeCab, ANullArrayMakesAnEmptyCabinet) {
  TestString pathString = TestString::latin1(folder.path().string());
  TestString nameString = TestString::latin1("empty.cab");
  EXPECT_EQ(Kestrilo_makeCab(nullptr, nullptr, pathString.handle(), nameString.handle()), 1);
  auto parsed = parseCabinet(folder.read("empty.cab"));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->files.size(), 0u);
  EXPECT_EQ(parsed->declaredSize, 36u);
}

}  // namespace
