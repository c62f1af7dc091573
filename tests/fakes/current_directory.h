// The test program's current directory, kept while a test makes another folder current (for a
// relative name, or as the launcher does) and made current again at the end. Only tests change
// it: the library never does, as the directory belongs to every thread of the process.
#pragma once

#include <filesystem>
#include <system_error>

class KeptCurrentDirectory {
 public:
  KeptCurrentDirectory() : saved_(std::filesystem::current_path()) {}
  ~KeptCurrentDirectory() { restore(); }
  KeptCurrentDirectory(const KeptCurrentDirectory&) = delete;
  KeptCurrentDirectory& operator=(const KeptCurrentDirectory&) = delete;

  // Makes `folder` current; false when it cannot be entered.
  bool enter(const std::filesystem::path& folder) { return change(folder); }
  // Makes the kept directory current again; false when it cannot be entered any more.
  bool restore() { return change(saved_); }

 private:
  static bool change(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::current_path(folder, error);
    return !error;
  }
  std::filesystem::path saved_;
};
