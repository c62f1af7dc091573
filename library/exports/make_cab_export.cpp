// Packing files into a cabinet: Kestrilo_makeCab.
//
// The entries are copied into texts of their own length and handed to the builder, which reads a
// relative entry from the cabinet path and stores it under the same relative name. The current
// directory is never changed: it belongs to every thread of the Java VM, so a relative cabinet
// path simply means what it means at the call. The outcome reaches the user only as the
// builder's failure lines; the result is always 1.
#include <cstdint>

#include "library/boundary/file_name.h"
#include "library/cabinet/cabinet_builder.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"
#include "library/support/checked_size.h"
#include "library/support/memory_helpers.h"
#include "library/support/reporting.h"

namespace {

void freeEntries(char** list, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) freeBlock(list[i]);
  freeBlock(list);
}

std::int32_t makeCab(const ArrayObject* files, StringHandle cabPath, StringHandle cabName) {
  std::int32_t count = arrayLength(files);
  if (count < 0) count = 0;
  std::optional<std::int64_t> listSize =
      checkedMultiply<std::int64_t>(count ? count : 1, sizeof(char*));
  auto** list =
      listSize ? static_cast<char**>(allocZeroed(static_cast<std::size_t>(*listSize))) : nullptr;
  if (!list) return 1;

  NameBuffer path;
  NameBuffer name;
  bool pathWhole = convertFileName(cabPath, path);
  bool nameWhole = convertFileName(cabName, name);
  if (!pathWhole || !nameWhole) {
    // The cut name would make a cabinet somewhere the caller never named.
    traceMessage("Cannot create file: ", pathWhole ? name : path);
    freeBlock(list);
    return 1;
  }

  const StringHandle* elements = count ? stringElements(files) : nullptr;
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t length = javaStringLength(elements[i]);
    std::optional<std::int32_t> size = checkedAdd(length, 1);
    list[i] = size ? static_cast<char*>(allocZeroed(static_cast<std::size_t>(*size))) : nullptr;
    if (!list[i]) {
      freeEntries(list, i);
      return 1;
    }
    javaString2CString(elements[i], list[i], *size);
    // A '?' standing for another character, or a zero ending the text early, would store another
    // file than the caller's: the entry is refused as a file that cannot be opened.
    if (!holdsOnlyNameCharacters(elements[i])) list[i][0] = '\0';
  }

  char errorText[kErrorTextSize];
  buildCabinet(count, list, path, name, errorText);
  freeEntries(list, count);
  return 1;
}

}  // namespace

std::int32_t Kestrilo_makeCab(Receiver, const ArrayObject* files, StringHandle cabPath,
                              StringHandle cabName) {
  return guardExport(kMakeCabFailure, [&] { return makeCab(files, cabPath, cabName); });
}
