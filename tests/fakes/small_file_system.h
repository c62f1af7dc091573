// A small file system of its own, for tests that need a full disk: a tmpfs of a given size
// mounted on a temporary folder, unmounted and removed when the test ends. Mounting takes the
// privilege to do so (root, as in CI); without it, and on Windows, mounted() is false and the
// test skips.
#pragma once

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

class SmallFileSystem {
 public:
  explicit SmallFileSystem(std::size_t bytes = 256 * 1024) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavolin-fs-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return;
    path_ = pattern;
#ifndef _WIN32
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    mounted_ = ::geteuid() == 0 &&
               ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
#else
    (void)bytes;
#endif
  }
  ~SmallFileSystem() {
#ifndef _WIN32
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
#endif
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool mounted() const { return mounted_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

  std::string write(const std::string& name, const std::string& contents) const {
    std::ofstream(path_ / name, std::ios::binary) << contents;
    return file(name);
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Takes every free block with the file "filler", so that the next write to any file fails.
  void fill() const {
    std::ofstream out(path_ / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (out.write(block.data(), block.size())) {
    }
  }

  // The names in the top folder.
  std::set<std::string> names() const {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      found.insert(entry.path().filename().string());
    }
    return found;
  }

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
};

#ifndef _WIN32
#define SKIP_WITHOUT_SMALL_FILE_SYSTEM(fs)                               \
  if (!(fs).mounted())                                                   \
  GTEST_SKIP() << "a full disk is made with a small tmpfs, which needs " \
                  "the privilege to mount (run as root, as CI does)"
#else
#define SKIP_WITHOUT_SMALL_FILE_SYSTEM(fs) \
  if (!(fs).mounted()) GTEST_SKIP() << "no small file system to fill on Windows"
#endif
