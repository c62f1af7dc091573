// Opening a document with its program: Kestrilo_showFile.
//
// With a directory, the command that opens the document with its associated program is looked
// up and started with the system directory as the program's working directory; the caller's
// current directory is never changed, not even for a moment (other threads resolve relative
// names against it). Without one, the desktop's default action opens the document. The result
// is 1 whatever happened: the Java side learns nothing of the outcome.
#include "library/boundary/file_name.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"
#include "platform/platform.h"

namespace {

std::int32_t showFile(StringHandle directoryText, StringHandle fileText) {
  FileName directory;
  FileName file;
  bool directoryWhole = convertFileName(directoryText, directory);
  bool fileWhole = convertFileName(fileText, file);
  if (!directoryWhole || !fileWhole) return 1;

  if (directory[0] != '\0') {
    platform::DocumentCommand command = platform::findProgramForDocument(file, directory);
    platform::startProgram(command, platform::systemDirectory());
  } else {
    platform::openWithDefaultAction(file, directory);
  }
  return 1;
}

}  // namespace

std::int32_t Kestrilo_showFile(Receiver, StringHandle directoryText, StringHandle fileText) {
  return guardExport(kShowFileFailure, [&] { return showFile(directoryText, fileText); });
}
