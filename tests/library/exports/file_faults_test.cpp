// The four writers (makeTransparent's GIF, saveJPEG, wav2au's AU, makeCab's cabinet) and their
// readers under what users meet: a full disk, symbolic links, devices and pipes, names that would
// name another file, and an input shortened while it is read. Each writer is driven through its
// export, with the documented result for the case.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "fakes/current_directory.h"
#include "fakes/recording_services.h"
#include "fakes/small_file_system.h"
#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/audio/wav_test_support.h"
#include "library/cabinet/cabinet_test_support.h"
#include "library/exports/exports.h"
#include "library/image/gif_image.h"
#include "library/image/jpeg_test_support.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    found.insert(entry.path().filename().string());
  }
  return found;
}

// A GIF without a transparent colour, which makeTransparent rewrites.
std::string opaqueGif() {
  return readFile(std::string(TAVOLIN_TEST_DATA_DIR) + "/image/giflib_gradient.gif");
}

bool declaresTransparency(const std::string& file) {
  GifImage image;
  return image.loadGifFromMemory(file.data(), file.size(), 0) == 1 && image.transparentSet == 1;
}

std::string smallWav() {
  const wavtest::Bytes wav = wavtest::canonicalWav({1, 2, 44100, 4, 16}, wavtest::stereo16(44100));
  return std::string(wav.begin(), wav.end());
}

const std::string kCabinetNotCreated =
    "FCIFlushCabinet() failed: code 6 [Could not create cabinet file]\n";

// One writer, driven through its export. `prepare` puts what the export reads in place (the GIF
// it rewrites is its own target); `save` runs the export for `target` and gives its result.
struct Writer {
  const char* name;
  std::function<std::int32_t(const std::string& target)> save;
  std::string magic;          // how a whole output starts
  std::int32_t failedResult;  // the export's result when the file could not be written
  std::string failedLine;     // what it prints on standard output then
  std::string refusedLine;    // what it prints for a target that is not an ordinary file
  bool targetIsInput;         // the export reads the target itself (makeTransparent)
};

class WriterFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    sources_.write("in.wav", smallWav());
    sources_.write("entry.txt", std::string(5000, 'e'));
  }

  std::vector<Writer> writers() {
    const std::string wav = sources_.file("in.wav");
    const std::string entry = sources_.file("entry.txt");
    return {
        {"makeTransparent",
         [](const std::string& target) {
           TestString name = TestString::latin1(target);
           return Kestrilo_makeTransparent(nullptr, name.handle());
         },
         "GIF89a", 1, "", "", true},
        {"saveJPEG",
         [](const std::string& target) {
           TestString name = TestString::latin1(target);
           PixelArray pixels(fPicture());
           return Kestrilo_saveJPEG(nullptr, name.handle(), pixels.object(), 6, 5);
         },
         "\xFF\xD8", 1, "Error: Output file write error --- out of disk space?\n", "", false},
        {"wav2au",
         [wav](const std::string& target) {
           TestString in = TestString::latin1(wav);
           TestString out = TestString::latin1(target);
           return Kestrilo_wav2au(nullptr, in.handle(), out.handle());
         },
         ".snd", 0, "", "", false},
        {"makeCab",
         [entry](const std::string& target) {
           TestString file = TestString::latin1(entry);
           std::vector<StringHandle> block{nullptr, file.handle()};
           auto* header = reinterpret_cast<ArrayObject*>(block.data());
           header->reserved = 0;
           header->count = 1;
           TestString path = TestString::latin1(fs::path(target).parent_path().string() + "/");
           TestString name = TestString::latin1(fs::path(target).filename().string());
           return Kestrilo_makeCab(nullptr, header, path.handle(), name.handle());
         },
         "MSCF", 1, kCabinetNotCreated, kCabinetNotCreated, false},
    };
  }

  // Runs the writer, its standard output captured into `printed`.
  static std::int32_t run(const Writer& writer, const std::string& target, std::string& printed) {
    testing::internal::CaptureStdout();
    std::int32_t result = writer.save(target);
    printed = testing::internal::GetCapturedStdout();
    return result;
  }

  TempFolder sources_;
  CabinetModule module_{TAVOLIN_CABWRITER_MODULE};
};

// Also where the file is written over in place (it has another hard link, which must keep
// seeing it): nothing is written until the room for all of it is reserved. (The file in place is
// empty, so that the new contents need room it does not have; makeTransparent's needs a GIF.)
TEST_F(WriterFaults, AFullDiskKeepsThePreviousFileByteForByteAndLeavesNothingElse) {
  for (const Writer& writer : writers()) {
    for (bool linked : {false, true}) {
      if (linked && writer.targetIsInput) continue;
      SCOPED_TRACE(std::string(writer.name) + (linked ? " in place" : ""));
      SmallFileSystem disk(64 * 1024);
      SKIP_WITHOUT_SMALL_FILE_SYSTEM(disk);
      const std::string old = linked ? std::string() : opaqueGif();
      const std::string target = disk.write("previous.out", old);
      std::set<std::string> names{"filler", "previous.out"};
      if (linked) {
        fs::create_hard_link(target, disk.file("link"));
        names.insert("link");
      }
      disk.fill();
      RecordingMessages messages;
      std::string printed;
      EXPECT_EQ(run(writer, target, printed), writer.failedResult);
      EXPECT_EQ(printed, writer.failedLine);
      EXPECT_EQ(disk.read("previous.out"), old);
      EXPECT_EQ(disk.names(), names);
    }
  }
}

TEST_F(WriterFaults, ThroughASymbolicLinkTheLinkedFileIsRewrittenAndTheLinkStays) {
  for (const Writer& writer : writers()) {
    SCOPED_TRACE(writer.name);
    TempFolder links;
    TempFolder targets;
    const std::string target = targets.write("real.out", opaqueGif());
    const std::string link = links.file("link.out");
    fs::create_symlink(target, link);
    std::string printed;
    EXPECT_EQ(run(writer, link, printed), 1);
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), target);
    EXPECT_EQ(readFile(target).substr(0, writer.magic.size()), writer.magic);
    EXPECT_EQ(namesIn(links.path()), std::set<std::string>{"link.out"});
    EXPECT_EQ(namesIn(targets.path()), std::set<std::string>{"real.out"});
  }
}

TEST_F(WriterFaults, ThroughASymbolicLinkAFailureLeavesTheLinkedFileAndTheLink) {
  for (const Writer& writer : writers()) {
    SCOPED_TRACE(writer.name);
    SmallFileSystem disk(64 * 1024);
    SKIP_WITHOUT_SMALL_FILE_SYSTEM(disk);
    TempFolder links;
    const std::string old = opaqueGif();
    const std::string target = disk.write("real.out", old);
    disk.fill();
    const std::string link = links.file("link.out");
    fs::create_symlink(target, link);
    RecordingMessages messages;
    std::string printed;
    EXPECT_EQ(run(writer, link, printed), writer.failedResult);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(disk.read("real.out"), old);
    EXPECT_EQ(disk.names(), (std::set<std::string>{"filler", "real.out"}));
    EXPECT_EQ(namesIn(links.path()), std::set<std::string>{"link.out"});
  }
}

TEST_F(WriterFaults, DevicesAndPipesAreRefusedWithoutWaitingAndStay) {
  TempFolder folder;
  const std::string fifo = folder.file("pipe.out");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const Writer& writer : writers()) {
    for (const std::string& target : {fifo, std::string("/dev/null"), std::string("/dev/full")}) {
      SCOPED_TRACE(std::string(writer.name) + " " + target);
      RecordingMessages messages;
      std::string printed;
      // The GIF is read from its target first: a device or a pipe is no GIF, and 0 says so.
      const std::int32_t refused = writer.targetIsInput ? 0 : writer.failedResult;
      EXPECT_EQ(run(writer, target, printed), refused);
      EXPECT_EQ(printed, writer.refusedLine);
      EXPECT_TRUE(messages.shown.empty());
    }
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"pipe.out"});
}

// Readers take only ordinary files and never wait on a pipe.
TEST_F(WriterFaults, ReadersRefusePipesAndDevices) {
  TempFolder folder;
  const std::string fifo = folder.file("pipe.in");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& input : {fifo, std::string("/dev/zero")}) {
    SCOPED_TRACE(input);
    TestString in = TestString::latin1(input);
    TestString out = TestString::latin1(folder.file("out.au"));
    EXPECT_EQ(Kestrilo_wav2au(nullptr, in.handle(), out.handle()), 0);

    TestString entry = TestString::latin1(input);
    std::vector<StringHandle> block{nullptr, entry.handle()};
    auto* header = reinterpret_cast<ArrayObject*>(block.data());
    header->reserved = 0;
    header->count = 1;
    TestString path = TestString::latin1(folder.path().string() + "/");
    TestString name = TestString::latin1("out.cab");
    testing::internal::CaptureStdout();
    EXPECT_EQ(Kestrilo_makeCab(nullptr, header, path.handle(), name.handle()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "FCIAddFile() failed: code 1 [Failure opening file to be stored in cabinet]\n");
  }
  EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"pipe.in"});
}

// A name whose 8-bit text would be another file's: a character outside U+0001..U+00FF becomes '?'
// and U+0000 ends the text. Each export refuses it and touches nothing.
TEST_F(WriterFaults, NamesThatWouldNameAnotherFileAreRefused) {
  TempFolder folder;
  const std::string base = folder.path().string() + "/";
  auto units = [](const std::string& latin1) {
    std::u16string text;
    for (unsigned char c : latin1) text += static_cast<char16_t>(c);
    return text;
  };
  const std::u16string euro(1, u'\u20AC');
  const std::u16string nul(1, u'\0');
  const std::string gif = opaqueGif();
  folder.write("x?.gif", gif);
  folder.write("victim.jpg", "the victim");
  folder.write("in.wav", smallWav());
  folder.write("a?.txt", "not this one");
  const std::set<std::string> before = namesIn(folder.path());

  TestString transparent(units(base + "x") + euro + units(".gif"));
  EXPECT_EQ(Kestrilo_makeTransparent(nullptr, transparent.handle()), 0);

  TestString jpeg(units(base + "victim.jpg") + nul + units(".txt"));
  PixelArray pixels(fPicture());
  EXPECT_EQ(Kestrilo_saveJPEG(nullptr, jpeg.handle(), pixels.object(), 6, 5), 1);

  TestString wavIn = TestString::latin1(base + "in.wav");
  TestString auOut(units(base + "out") + euro + units(".au"));
  EXPECT_EQ(Kestrilo_wav2au(nullptr, wavIn.handle(), auOut.handle()), 0);
  TestString wavEuro(units(base + "in") + euro + units(".wav"));
  TestString auPlain = TestString::latin1(base + "out.au");
  EXPECT_EQ(Kestrilo_wav2au(nullptr, wavEuro.handle(), auPlain.handle()), 0);

  TestString entry(units(base + "a") + euro + units(".txt"));
  std::vector<StringHandle> block{nullptr, entry.handle()};
  auto* header = reinterpret_cast<ArrayObject*>(block.data());
  header->reserved = 0;
  header->count = 1;
  TestString path = TestString::latin1(base);
  TestString cabName = TestString::latin1("out.cab");
  testing::internal::CaptureStdout();
  EXPECT_EQ(Kestrilo_makeCab(nullptr, header, path.handle(), cabName.handle()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "FCIAddFile() failed: code 1 [Failure opening file to be stored in cabinet]\n");
  std::vector<StringHandle> none{nullptr, nullptr};
  reinterpret_cast<ArrayObject*>(none.data())->count = 0;
  TestString euroCab(units("x") + euro + units(".cab"));
  EXPECT_EQ(Kestrilo_makeCab(nullptr, reinterpret_cast<ArrayObject*>(none.data()), path.handle(),
                             euroCab.handle()),
            1);

  EXPECT_EQ(namesIn(folder.path()), before);
  EXPECT_EQ(folder.read("x?.gif"), gif);
  EXPECT_EQ(folder.read("victim.jpg"), "the victim");
  EXPECT_EQ(folder.read("a?.txt"), "not this one");
}

// makeTransparent where it used to do nothing: through a link, at the longest base name, and in
// a folder that takes no new file.
class TransparentInPlace : public ::testing::Test {
 protected:
  static std::int32_t makeTransparent(const std::string& path) {
    TestString name = TestString::latin1(path);
    return Kestrilo_makeTransparent(nullptr, name.handle());
  }
};

TEST_F(TransparentInPlace, ThroughASymbolicLinkAndWithTheLongestBaseName) {
  TempFolder folder;
  const std::string longest(255, 'g');
  struct Case {
    std::string name;  // the name makeTransparent gets
    std::string file;  // the file that must end up transparent
  };
  folder.write("real.gif", opaqueGif());
  fs::create_symlink("real.gif", folder.file("link.gif"));
  folder.write(longest, opaqueGif());
  // A name of 255 characters is only whole as a relative one: the folder is made current for it.
  const std::vector<Case> cases = {{folder.file("link.gif"), "real.gif"}, {longest, longest}};
  KeptCurrentDirectory saved;
  ASSERT_TRUE(saved.enter(folder.path()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(makeTransparent(c.name), 1);
    EXPECT_TRUE(declaresTransparency(folder.read(c.file)));
  }
  EXPECT_TRUE(saved.restore());
  EXPECT_TRUE(fs::is_symlink(folder.file("link.gif")));
  EXPECT_EQ(namesIn(folder.path()), (std::set<std::string>{"real.gif", "link.gif", longest}));
}

TEST_F(TransparentInPlace, InAFolderThatTakesNoNewFile) {
  TempFolder folder;
  fs::permissions(folder.path(), static_cast<fs::perms>(0755));
  const fs::path locked = folder.path() / "locked";
  fs::create_directory(locked);
  const std::string gif = (locked / "picture.gif").string();
  writeFile(gif, opaqueGif());
  fs::permissions(gif, static_cast<fs::perms>(0666));
  fs::permissions(locked, static_cast<fs::perms>(0555));
  std::int32_t result;
  if (::geteuid() == 0) {
    // Root may create files anywhere: the call runs as an ordinary user in a child.
    ::fflush(nullptr);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
      ::_exit(makeTransparent(gif));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    result = WEXITSTATUS(status);
  } else {
    result = makeTransparent(gif);
  }
  fs::permissions(locked, static_cast<fs::perms>(0755));
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(declaresTransparency(readFile(gif)));
  EXPECT_EQ(namesIn(locked), std::set<std::string>{"picture.gif"});
}

// The rewrite goes only over the file as it was read: a version saved in between is kept.
TEST_F(TransparentInPlace, AVersionSavedMeanwhileIsKept) {
  TempFolder folder;
  const std::string gif = folder.write("picture.gif", opaqueGif());
  GifImage image;
  ASSERT_EQ(image.loadGif(gif.c_str(), 0), 1);
  folder.write("picture.gif", "saved meanwhile");
  image.transparentIndex = *image.pixelAddress(0, 0);
  image.transparentSet = 1;
  RecordingMessages messages;
  EXPECT_EQ(image.saveGif(gif.c_str(), &image.readIdentity), 0);
  EXPECT_EQ(folder.read("picture.gif"), "saved meanwhile");
  EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"picture.gif"});
}

// A WAV file large enough to be read while it is converted, shortened (to 4 KB or to nothing)
// and restored by another thread, again and again, while two threads convert it: the calls end
// with 1 or 0, never with a crash.
TEST(Wav2AuUnderChange, AWavShortenedWhileItIsReadNeverCrashes) {
  TempFolder folder;
  const wavtest::Bytes bytes =
      wavtest::canonicalWav({1, 2, 44100, 4, 16}, wavtest::stereo16(44100 * 8));
  const std::string wav(bytes.begin(), bytes.end());
  const std::string name = folder.write("in.wav", wav);
  std::atomic<bool> done{false};
  std::atomic<int> results[2] = {{0}, {0}};
  std::thread changer([&] {
    for (int round = 0; !done; ++round) {
      fs::resize_file(name, round % 2 ? 4096 : 0);
      std::this_thread::yield();
      writeFile(name, wav);
    }
  });
  std::vector<std::thread> converters;
  for (int t = 0; t < 2; ++t) {
    converters.emplace_back([&, t] {
      TestString in = TestString::latin1(name);
      TestString out = TestString::latin1(folder.file("out" + std::to_string(t) + ".au"));
      for (int i = 0; i < 40; ++i) {
        std::int32_t result = Kestrilo_wav2au(nullptr, in.handle(), out.handle());
        if (result == 0 || result == 1) results[result]++;
      }
    });
  }
  for (std::thread& converter : converters) converter.join();
  done = true;
  changer.join();
  EXPECT_EQ(results[0] + results[1], 80);
}

}  // namespace
