// The cabinet writer module driven through its five operations with the builder's callbacks:
// cabinets that do not depend on the number of compressing threads, blocks that refer back into
// the previous block of their folder and never across a folder break, stored blocks for data
// that does not shrink, status reports in block order, and the failures that stop the writer.
// Blocks are decoded here with zlib's raw inflate, independently of the writer's code.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/cabinet/cabinet_callbacks.h"
#include "library/cabinet/cabinet_test_support.h"
#include "platform/cabinet_interface/fci.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kBlock = 32768;

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

// Text that compresses, but not to nothing: numbered lines of a few words.
std::string text(std::size_t size, unsigned seed) {
  static const char* const words[] = {"folder", "block",  "cabinet", "window", "deflate",
                                      "stored", "thread", "reader",  "source", "entry"};
  std::mt19937 generator(seed);
  std::string out;
  for (unsigned line = 0; out.size() < size; ++line) {
    out += std::to_string(line);
    for (int w = 0; w < 6; ++w) out += std::string(" ") + words[generator() % 10];
    out += '\n';
  }
  out.resize(size);
  return out;
}

// The data of each block (what follows its 8-byte header), folder by folder.
std::vector<std::vector<std::string>> blockData(const std::string& cabinet) {
  const auto* b = reinterpret_cast<const std::uint8_t*>(cabinet.data());
  auto u16 = [&](std::size_t at) { return static_cast<std::size_t>(b[at] | b[at + 1] << 8); };
  auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  std::vector<std::vector<std::string>> folders(u16(26));
  for (std::size_t f = 0; f < folders.size(); ++f) {
    std::size_t at = u32(36 + 8 * f);
    for (std::size_t k = u16(36 + 8 * f + 4); k > 0; --k) {
      std::size_t size = u16(at + 4);
      folders[f].push_back(cabinet.substr(at + 8, size));
      at += 8 + size;
    }
  }
  return folders;
}

// One MSZIP block decoded with the given dictionary (the folder's data before it); null unless
// it is "CK" and one complete raw deflate stream that needs nothing more.
std::optional<std::string> inflateBlock(const std::string& block, const std::string& dictionary) {
  if (block.compare(0, 2, "CK") != 0) return std::nullopt;
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) return std::nullopt;
  std::string out(kBlock, '\0');
  int status = Z_OK;
  if (!dictionary.empty()) {
    status = inflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(dictionary.data()),
                                  static_cast<uInt>(dictionary.size()));
  }
  if (status == Z_OK) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data() + 2));
    stream.avail_in = static_cast<uInt>(block.size() - 2);
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    status = inflate(&stream, Z_FINISH);
  }
  std::size_t produced = stream.total_out;
  bool whole = status == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  if (!whole) return std::nullopt;
  out.resize(produced);
  return out;
}

// Each folder's data, every block decoded with the last 32 KB of the folder before it, as a
// reader does; null when a block does not decode.
std::optional<std::vector<std::string>> folderContents(const std::string& cabinet) {
  std::vector<std::string> contents;
  for (const std::vector<std::string>& blocks : blockData(cabinet)) {
    std::string data;
    for (const std::string& block : blocks) {
      std::string window = data.size() > kBlock ? data.substr(data.size() - kBlock) : data;
      std::optional<std::string> decoded = inflateBlock(block, window);
      if (!decoded) return std::nullopt;
      data += *decoded;
    }
    contents.push_back(data);
  }
  return contents;
}

struct StatusLog {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> blocks;  // statusFile: cb1, cb2
  std::size_t abortAt = SIZE_MAX;                               // the report answered with -1
};

// The client context of a run: the callbacks' cabinet output, and the status log.
struct RunContext : CabinetOutput {
  StatusLog* log = nullptr;
};

std::int32_t recordStatus(unsigned int kind, std::uint32_t value1, std::uint32_t value2,
                          void* context) {
  StatusLog* log = static_cast<RunContext*>(context)->log;
  if (kind != statusFile) return 0;
  log->blocks.emplace_back(value1, value2);
  return log->blocks.size() - 1 == log->abortAt ? -1 : 0;
}

struct Outcome {
  bool written;       // every operation succeeded and FCIFlushCabinet wrote the cabinet
  int code;           // the error record's code
  std::size_t added;  // files taken (FCIAddFile results of 1)
};

// Runs the writer module over `entries` (file names in `folder`, or "+" to close a folder) into
// out.cab, with its temporary files in a folder of their own and `threads` compressing.
class WriterRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder.path() / "tmp");
    saveVariable("TMPDIR", folder.file("tmp"));
    saveVariable("TAVOLIN_CAB_THREADS", "");
    module_ = platform::loadModule("CABINET");
    ASSERT_NE(module_, nullptr);
    create_ = reinterpret_cast<FnFCICreate>(platform::findSymbol(module_, "FCICreate"));
    add_ = reinterpret_cast<FnFCIAddFile>(platform::findSymbol(module_, "FCIAddFile"));
    flushFolder_ =
        reinterpret_cast<FnFCIFlushFolder>(platform::findSymbol(module_, "FCIFlushFolder"));
    flushCabinet_ =
        reinterpret_cast<FnFCIFlushCabinet>(platform::findSymbol(module_, "FCIFlushCabinet"));
    destroy_ = reinterpret_cast<FnFCIDestroy>(platform::findSymbol(module_, "FCIDestroy"));
    ASSERT_TRUE(create_ && add_ && flushFolder_ && flushCabinet_ && destroy_);
  }
  void TearDown() override {
    if (module_) platform::freeModule(module_);
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

  Outcome run(const std::vector<std::string>& entries, unsigned threads, StatusLog* log = nullptr) {
    setenv("TAVOLIN_CAB_THREADS", std::to_string(threads).c_str(), 1);
    std::filesystem::remove(folder.path() / "out.cab");
    CCAB parameters{};
    parameters.cb = parameters.cbFolderThresh = 0x7FFFFFFF;
    parameters.iCab = 1;
    parameters.setID = 12345;
    std::strcpy(parameters.szCabPath, folder.path().c_str());
    std::strcpy(parameters.szCab, "out.cab");
    ERF error{};
    RunContext context;
    context.expectCabinet(parameters);
    context.log = log;
    HFCI writer = create_(&error, cabinetFilePlaced, cabinetAllocate, cabinetRelease, cabinetOpen,
                          cabinetRead, cabinetWrite, cabinetClose, cabinetSeek, cabinetDelete,
                          cabinetTempName, &parameters, &context);
    Outcome outcome{false, 0, 0};
    if (!writer) {
      outcome.code = error.erfOper;
      return outcome;
    }
    PFNFCISTATUS status = log ? recordStatus : cabinetStatus;
    bool ok = true;
    for (const std::string& entry : entries) {
      if (entry == "+") {
        ok = flushFolder_(writer, cabinetNextCabinet, status) != 0;
      } else {
        std::string source = folder.file(entry);
        std::string name = entry;
        ok = add_(writer, source.data(), name.data(), 0, cabinetNextCabinet, status,
                  cabinetOpenInfo, tcompTYPE_MSZIP) != 0;
        outcome.added += ok;
      }
      if (!ok) break;
    }
    // The cabinet takes its name once flushed, as the builder has it.
    ok = ok && flushCabinet_(writer, 0, cabinetNextCabinet, status) != 0 && context.commit();
    outcome.written = ok;
    outcome.code = error.erfOper;
    EXPECT_EQ(destroy_(writer), 1);
    return outcome;
  }

  std::string cabinet() const { return folder.read("out.cab"); }
  bool tempFolderEmpty() const { return std::filesystem::is_empty(folder.path() / "tmp"); }

  TempFolder folder;

 private:
  void saveVariable(const std::string& name, const std::string& value) {
    const char* previous = std::getenv(name.c_str());
    saved_.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
    setenv(name.c_str(), value.c_str(), 1);
  }

  CabinetModule override_{TAVOLIN_CABWRITER_MODULE};
  platform::ModuleHandle module_ = nullptr;
  FnFCICreate create_ = nullptr;
  FnFCIAddFile add_ = nullptr;
  FnFCIFlushFolder flushFolder_ = nullptr;
  FnFCIFlushCabinet flushCabinet_ = nullptr;
  FnFCIDestroy destroy_ = nullptr;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(WriterRun, TheCabinetDoesNotDependOnTheNumberOfThreads) {
  // Files that end inside blocks, a file of many blocks, an empty one, data that does not
  // shrink among data that does, and three folders.
  const std::vector<std::pair<std::string, std::string>> sources = {
      {"small.txt", text(1000, 1)},
      {"many.txt", text(20 * kBlock + 123, 2)},
      {"empty", ""},
      {"noise", randomBytes(3 * kBlock + 7, 3)},
      {"after-noise.txt", text(5 * kBlock, 4)},
      {"second.txt", text(kBlock, 5)},
      {"third.bin", randomBytes(100, 6) + text(9 * kBlock, 7)},
  };
  for (const auto& [name, data] : sources) folder.write(name, data);
  const std::vector<std::string> entries = {"small.txt",       "many.txt", "empty",      "noise",
                                            "after-noise.txt", "+",        "second.txt", "+",
                                            "third.bin",       "small.txt"};
  const std::vector<std::string> expected = {
      sources[0].second + sources[1].second + sources[3].second + sources[4].second,
      sources[5].second, sources[6].second + sources[0].second};

  std::optional<std::string> first;
  for (unsigned threads : {1u, 2u, 8u}) {
    SCOPED_TRACE(threads);
    Outcome outcome = run(entries, threads);
    EXPECT_TRUE(outcome.written);
    EXPECT_EQ(outcome.code, 0);
    std::string bytes = cabinet();
    EXPECT_EQ(folderContents(bytes), std::optional<std::vector<std::string>>(expected));
    if (first) {
      EXPECT_TRUE(bytes == *first) << "the cabinet differs from the one made by one thread";
    } else {
      first = bytes;
    }
    EXPECT_TRUE(tempFolderEmpty());
  }
}

TEST_F(WriterRun, BlocksReferBackIntoTheirFolderButNeverAcrossABreak) {
  // 32 KB of noise, then most of it again (deflate reaches 32506 bytes back, not quite 32 KB),
  // then after a break the noise alone: the repeat can only be small by referring to the block
  // before it; after the break there is nothing to refer to.
  const std::string noise = randomBytes(kBlock, 11);
  const std::string repeat = noise.substr(1000);
  folder.write("twice", noise + repeat);
  folder.write("once", noise);
  Outcome outcome = run({"twice", "+", "once"}, 2);
  ASSERT_TRUE(outcome.written);
  std::vector<std::vector<std::string>> blocks = blockData(cabinet());
  ASSERT_EQ(blocks.size(), 2u);
  ASSERT_EQ(blocks[0].size(), 2u);
  ASSERT_EQ(blocks[1].size(), 1u);

  EXPECT_TRUE(inflateBlock(blocks[0][0], "") == noise);
  EXPECT_LT(blocks[0][1].size(), 1000u);
  EXPECT_TRUE(inflateBlock(blocks[0][1], noise) == repeat);
  EXPECT_FALSE(inflateBlock(blocks[0][1], "") == repeat);
  // The second folder's first block decodes alone: stored, as noise without history is.
  EXPECT_EQ(blocks[1][0].size(), 2 + 5 + kBlock);
  EXPECT_TRUE(inflateBlock(blocks[1][0], "") == noise);
}

TEST_F(WriterRun, DataThatDoesNotShrinkIsStoredEvenWithHistory) {
  const std::string noise = randomBytes(2 * kBlock + 1000, 21);
  folder.write("mixed", text(kBlock, 22) + noise);
  ASSERT_TRUE(run({"mixed"}, 8).written);
  std::vector<std::string> blocks = blockData(cabinet())[0];
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_LT(blocks[0].size(), kBlock / 2);
  struct Stored {
    std::size_t block;
    std::size_t bytes;
  };
  for (const Stored& s : {Stored{1, kBlock}, Stored{2, kBlock}, Stored{3, 1000}}) {
    SCOPED_TRACE(s.block);
    const std::string& block = blocks[s.block];
    ASSERT_EQ(block.size(), 2 + 5 + s.bytes);
    // One final stored deflate block: BFINAL set, type 00, then LEN and its complement.
    EXPECT_EQ(block[2], '\x01');
    EXPECT_EQ(static_cast<std::uint8_t>(block[3]) | static_cast<std::uint8_t>(block[4]) << 8,
              static_cast<int>(s.bytes));
    EXPECT_EQ(static_cast<std::uint8_t>(block[5]) | static_cast<std::uint8_t>(block[6]) << 8,
              static_cast<int>(~s.bytes & 0xFFFF));
    EXPECT_EQ(block.substr(7), noise.substr((s.block - 1) * kBlock, s.bytes));
  }
}

TEST_F(WriterRun, EveryBlockIsReportedInOrderOnTheCallingThread) {
  folder.write("a.txt", text(10 * kBlock + 5, 31));
  folder.write("b.bin", randomBytes(2 * kBlock, 32));
  StatusLog log;
  ASSERT_TRUE(run({"a.txt", "+", "b.bin"}, 8, &log).written);
  auto parsed = parseCabinet(cabinet());
  ASSERT_TRUE(parsed);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;
  for (const ParsedFolder& f : parsed->folders) {
    for (const ParsedBlock& block : f.blocks)
      expected.emplace_back(block.compressed, block.uncompressed);
  }
  EXPECT_EQ(expected.size(), 11u + 2u);
  EXPECT_EQ(log.blocks, expected);
}

TEST_F(WriterRun, AnAbortFromTheStatusReportStopsTheWriter) {
  folder.write("long.txt", text(40 * kBlock, 41));
  folder.write("next.txt", text(100, 42));
  for (unsigned threads : {1u, 8u}) {
    SCOPED_TRACE(threads);
    StatusLog log;
    log.abortAt = 3;
    Outcome outcome = run({"long.txt", "next.txt"}, threads, &log);
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.code, FCIERR_USER_ABORT);
    EXPECT_EQ(outcome.added, 0u);
    // Nothing is reported after the report that asked to stop.
    EXPECT_EQ(log.blocks.size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "out.cab"));
    EXPECT_TRUE(tempFolderEmpty());
  }
}

// Memory refused at any allocation ends in code 3 or, where fewer compressing threads will do,
// in the same cabinet: never in anything else.
TEST_F(WriterRun, MemoryRefusedAnywhereIsCodeThreeOrTheSameCabinet) {
  folder.write("a.txt", text(6 * kBlock + 10, 51));
  const std::vector<std::string> entries = {"a.txt", "+", "a.txt"};
  ASSERT_TRUE(run(entries, 4).written);
  const std::string expected = cabinet();
  int failures = 0;
  for (std::size_t failFrom = 0; failFrom < 40; ++failFrom) {
    SCOPED_TRACE(failFrom);
    Outcome outcome;
    {
      FailingMemory memory(failFrom);
      outcome = run(entries, 4);
    }
    if (outcome.written) {
      EXPECT_TRUE(cabinet() == expected);
    } else {
      ++failures;
      EXPECT_EQ(outcome.code, FCIERR_ALLOC_FAIL);
      EXPECT_FALSE(std::filesystem::exists(folder.path() / "out.cab"));
    }
    EXPECT_TRUE(tempFolderEmpty());
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
