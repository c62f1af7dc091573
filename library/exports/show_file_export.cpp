// Opening a document with its program: Kestrilo_showFile.
//
// With a directory, the program associated with the document is looked up and started with the
// document as its one argument, in the system directory; the caller's current directory is the
// same afterwards. Without one, the desktop's default action opens the document. The result is
// 1 whatever happened: the Java side learns nothing of the outcome.
#include "library/boundary/file_name.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"
#include "platform/platform.h"

namespace {

std::int32_t showFile(StringHandle directoryText, StringHandle fileText) {
  NameBuffer directory;
  NameBuffer file;
  bool directoryWhole = convertFileName(directoryText, directory);
  bool fileWhole = convertFileName(fileText, file);
  if (!directoryWhole || !fileWhole) return 1;

  if (directory[0] != '\0') {
    std::string program = platform::findProgramForDocument(file, directory);
    std::string systemDirectory = platform::systemDirectory();
    platform::SavedDirectory saved;
    platform::setCurrentDirectory(systemDirectory.c_str());
    platform::startProgram(program, file);
    saved.restore();
  } else {
    platform::openWithDefaultAction(file, directory);
  }
  return 1;
}

}  // namespace

std::int32_t Kestrilo_showFile(Receiver, StringHandle directoryText, StringHandle fileText) {
  return guardExport(kShowFileFailure, [&] { return showFile(directoryText, fileText); });
}
