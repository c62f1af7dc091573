#include "library/cabinet/cabinet_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "fakes/current_directory.h"
#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/cabinet/cabinet_test_support.h"
#include "platform/latin1_text.h"

namespace {

struct BuildOutcome {
  int result;
  std::string printed;
  std::string errorText;
};

// Builds in a temporary folder made current, with the temporary files of the writer in a folder
// of their own so that a test can see they are gone.
class CabinetBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* previous = std::getenv("TMPDIR");
    if (previous) previousTmp_ = previous;
    std::filesystem::create_directory(folder.path() / "tmp");
    setenv("TMPDIR", folder.file("tmp").c_str(), 1);
    saved_.enter(folder.path());
  }
  void TearDown() override {
    saved_.restore();
    if (previousTmp_) {
      setenv("TMPDIR", previousTmp_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

  BuildOutcome build(std::vector<std::string> entries, const std::string& name = "out.cab") {
    // Each entry is stored under its own 8-bit text and read from that text's UTF-8 form.
    std::vector<std::string> sources;
    for (const std::string& entry : entries) {
      sources.push_back(platform::utf8FromLatin1(entry.c_str()));
    }
    std::vector<CabinetEntry> list;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      list.push_back({entries[i].data(), sources[i].data()});
    }
    char errorText[kErrorTextSize];
    std::string path = folder.path().string();
    ::testing::internal::CaptureStdout();
    int result = buildCabinet(static_cast<std::int32_t>(list.size()), list.data(), path.c_str(),
                              name.c_str(), errorText);
    return {result, ::testing::internal::GetCapturedStdout(), errorText};
  }

  std::optional<ParsedCabinet> cabinet(const std::string& name = "out.cab") {
    return parseCabinet(folder.read(name));
  }

  bool tempFolderEmpty() const { return std::filesystem::is_empty(folder.path() / "tmp"); }

  TempFolder folder;
  CabinetModule module{TAVOLIN_CABWRITER_MODULE};

 private:
  KeptCurrentDirectory saved_;
  std::optional<std::string> previousTmp_;
};

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

TEST(CabinetErrorText, EveryCodeHasItsText) {
  const std::vector<std::pair<int, std::string>> cases = {
      {0, "No error"},
      {1, "Failure opening file to be stored in cabinet"},
      {2, "Failure reading file to be stored in cabinet"},
      {3, "Insufficient memory in FCI"},
      {4, "Could not create a temporary file"},
      {5, "Unknown compression type"},
      {6, "Could not create cabinet file"},
      {7, "Client requested abort"},
      {8, "Failure compressing data"},
      {9, "Unknown error"},
      {-1, "Unknown error"},
      {-2147483647 - 1, "Unknown error"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(cabinetErrorText(code), text) << code;
}

TEST(FillCabinetParameters, SetsTheFixedValuesAndCopiesPathAndNameUnchanged) {
  CCAB parameters;
  std::memset(&parameters, 0xAB, sizeof parameters);
  fillCabinetParameters(parameters, "/some/path", "name.cab");
  EXPECT_EQ(parameters.cb, 0x7FFFFFFFu);
  EXPECT_EQ(parameters.cbFolderThresh, 0x7FFFFFFFu);
  EXPECT_EQ(
      parameters.cbReserveCFHeader + parameters.cbReserveCFFolder + parameters.cbReserveCFData, 0u);
  EXPECT_EQ(parameters.iCab, 1);
  EXPECT_EQ(parameters.iDisk, 0);
  EXPECT_EQ(parameters.fFailOnIncompressible, 0);
  EXPECT_EQ(parameters.setID, 12345);
  EXPECT_EQ(std::string(parameters.szDisk), "");
  EXPECT_EQ(std::string(parameters.szCabPath), "/some/path");
  EXPECT_EQ(std::string(parameters.szCab), "name.cab");
  EXPECT_EQ(parameters.szCab[sizeof parameters.szCab - 1], 0);
}

TEST_F(CabinetBuild, FolderBreaksAreExactlyTheEntriesPlus) {
  folder.write("a.txt", "alpha\n");
  folder.write("b.txt", "beta\n");
  folder.write("+x", "plus x\n");
  folder.write(" +", "space plus\n");
  struct Case {
    std::vector<std::string> entries;
    std::vector<std::uint16_t> folderOfEachFile;
    std::size_t folders;
  };
  const std::vector<Case> cases = {
      {{"a.txt", "b.txt"}, {0, 0}, 1},       {{"a.txt", "+", "b.txt"}, {0, 1}, 2},
      {{"+", "a.txt", "+"}, {0}, 1},         {{"a.txt", "+", "+", "b.txt"}, {0, 1}, 2},
      {{"+x", " +", "a.txt"}, {0, 0, 0}, 1}, {{}, {}, 0},
  };
  for (const Case& c : cases) {
    BuildOutcome outcome = build(c.entries);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_EQ(outcome.errorText, "No error");
    auto parsed = cabinet();
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->declaredSize, folder.read("out.cab").size());
    EXPECT_EQ(parsed->setId, 12345);
    EXPECT_EQ(parsed->index, 0);
    EXPECT_EQ(parsed->flags, 0);
    EXPECT_EQ(parsed->folders.size(), c.folders);
    std::vector<std::uint16_t> folderOfEachFile;
    for (const ParsedFile& file : parsed->files) folderOfEachFile.push_back(file.folder);
    EXPECT_EQ(folderOfEachFile, c.folderOfEachFile);
    EXPECT_TRUE(tempFolderEmpty());
  }
}

TEST_F(CabinetBuild, BlocksHold32768BytesButTheLastOfEachFolder) {
  folder.write("two-and-a-bit", std::string(2 * 32768 + 5, 'x'));
  folder.write("exact", randomBytes(32768, 1));
  folder.write("empty", "");
  ASSERT_EQ(build({"two-and-a-bit", "empty", "+", "exact", "+", "empty"}).result, 1);
  auto parsed = cabinet();
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->folders.size(), 3u);
  std::vector<std::vector<std::uint16_t>> uncompressed;
  for (const ParsedFolder& f : parsed->folders) {
    EXPECT_EQ(f.compression, 1);
    uncompressed.emplace_back();
    for (const ParsedBlock& block : f.blocks) {
      uncompressed.back().push_back(block.uncompressed);
      EXPECT_TRUE(block.checksumMatches);
      EXPECT_TRUE(block.startsWithCK);
    }
  }
  // A folder of empty files still has one (empty) block.
  EXPECT_EQ(uncompressed,
            (std::vector<std::vector<std::uint16_t>>{{32768, 32768, 5}, {32768}, {0}}));
  // Random data does not shrink: one stored deflate block, 7 bytes over.
  EXPECT_EQ(parsed->folders[1].blocks[0].compressed, 32768 + 7);
  EXPECT_LT(parsed->folders[0].blocks[0].compressed, 1000);
  ASSERT_EQ(parsed->files.size(), 4u);
  EXPECT_EQ(parsed->files[1].folderOffset, 2u * 32768 + 5);
  EXPECT_EQ(parsed->files[1].size, 0u);
}

TEST_F(CabinetBuild, NamesAreStoredWithBackslashesAndTheirOwnBytes) {
  std::filesystem::create_directory(folder.path() / "sub");
  folder.write("sub/inner.txt", "inner\n");
  folder.write("caf\xC3\xA9.txt", "latin-1 name on disk in UTF-8\n");
  ASSERT_EQ(build({"sub/inner.txt", "caf\xE9.txt"}).result, 1);
  auto parsed = cabinet();
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->files.size(), 2u);
  EXPECT_EQ(parsed->files[0].name, "sub\\inner.txt");
  EXPECT_EQ(parsed->files[1].name, "caf\xE9.txt");
}

TEST_F(CabinetBuild, AMissingFileStopsTheBuildWithCodeOne) {
  folder.write("a.txt", "alpha\n");
  BuildOutcome outcome = build({"a.txt", "missing.txt", "a.txt"});
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.printed,
            "FCIAddFile() failed: code 1 [Failure opening file to be stored in cabinet]\n");
  EXPECT_EQ(outcome.errorText, "Failure opening file to be stored in cabinet: 'missing.txt'");
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "out.cab"));
  EXPECT_TRUE(tempFolderEmpty());
}

TEST_F(CabinetBuild, FailuresOfTheWriterArePrintedWithTheirCodes) {
  folder.write("a.txt", "alpha\n");
  std::string longName(256, 'n');
  folder.write(longName, "a name longer than the format allows\n");
  struct Case {
    std::vector<std::string> entries;
    std::string name;
    std::string printed;
  };
  const std::vector<Case> cases = {
      {{"a.txt"},
       "no-such-folder/out.cab",
       "FCIFlushCabinet() failed: code 6 [Could not create cabinet file]\n"},
      // Absolute, so that the writer's own limit on stored names is what refuses it.
      {{"a.txt", folder.file(longName)},
       "out.cab",
       "FCIAddFile() failed: code 9 [Unknown error]\n"},
      {{"a.txt", "."},
       "out.cab",
       "FCIAddFile() failed: code 1 [Failure opening file to be stored in cabinet]\n"},
  };
  for (const Case& c : cases) {
    BuildOutcome outcome = build(c.entries, c.name);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.printed, c.printed);
    EXPECT_TRUE(tempFolderEmpty());
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "out.cab"));
}

TEST_F(CabinetBuild, NoMemoryForTheWriterIsCodeThree) {
  folder.write("a.txt", "alpha\n");
  BuildOutcome outcome;
  {
    FailingMemory memory;
    outcome = build({"a.txt"});
  }
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.printed, "FCICreate() failed: code 3 [Insufficient memory in FCI]\n");
}

TEST_F(CabinetBuild, WriterModulesThatCannotServe) {
  folder.write("a.txt", "alpha\n");
  struct Case {
    std::string module;
    std::vector<std::string> entries;
    int result;
    std::string printed;
  };
  const std::vector<Case> cases = {
      {folder.file("no-such-module.so"),
       {"a.txt"},
       0,
       "FCICreate() failed: code -1 [Unknown error]\n"},
      {fakeCabinetModule("no_create"),
       {"a.txt"},
       0,
       "FCICreate() failed: code -1 [Unknown error]\n"},
      // Without FCIFlushFolder a list without folder breaks still builds.
      {fakeCabinetModule("no_flush_folder"), {"a.txt", "a.txt"}, 1, ""},
      {fakeCabinetModule("no_flush_folder"),
       {"a.txt", "+", "a.txt"},
       0,
       "FCIFlushFolder() failed: code -1 [Unknown error]\n"},
  };
  for (const Case& c : cases) {
    CabinetModule fake(c.module);
    BuildOutcome outcome = build(c.entries);
    EXPECT_EQ(outcome.result, c.result) << c.module;
    EXPECT_EQ(outcome.printed, c.printed) << c.module;
  }
}

TEST_F(CabinetBuild, AWriterThatFailsToGoKeepsItsModuleLoaded) {
  CabinetModule fake(fakeCabinetModule("destroy_fails"));
  // The fake reports how many writers its copy has created: the second build reaching 2 shows
  // that the module was not unloaded in between.
  BuildOutcome first = build({});
  BuildOutcome second = build({});
  EXPECT_EQ(first.result, 0);
  EXPECT_EQ(first.printed,
            "FCIDestroy() failed: code 1 [Failure opening file to be stored in cabinet]\n");
  EXPECT_EQ(second.printed,
            "FCIDestroy() failed: code 2 [Failure reading file to be stored in cabinet]\n");
}

}  // namespace
