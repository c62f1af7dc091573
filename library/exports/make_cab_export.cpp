// Packing files into a cabinet: Kestrilo_makeCab.
//
// The entries are copied into texts of their own length and handed to the builder, which reads a
// relative entry from the cabinet path and stores it under the same relative name: the 8-bit text
// is what the cabinet stores, its UTF-8 form names the file that is read. The current
// directory is never changed: it belongs to every thread of the Java VM, so a relative cabinet
// path simply means what it means at the call. The outcome reaches the user only as the
// builder's failure lines; the result is always 1.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "library/boundary/file_name.h"
#include "library/cabinet/cabinet_builder.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"
#include "library/support/checked_size.h"
#include "library/support/memory_helpers.h"
#include "library/support/reporting.h"

namespace {

// The table of entries and the texts it points to, all from the heap.
void freeEntries(CabinetEntry* list, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) {
    freeBlock(list[i].stored);
    freeBlock(list[i].source);
  }
  freeBlock(list);
}

// The parameters record holds the cabinet's path and name in 256 bytes each; a UTF-8 form that
// does not fit is never cut to another file's name.
bool fits(const char* name, int field) {
  return std::strlen(name) < static_cast<std::size_t>(field);
}

std::int32_t makeCab(const ArrayObject* files, StringHandle cabPath, StringHandle cabName) {
  std::int32_t count = arrayLength(files);
  if (count < 0) count = 0;
  std::optional<std::int64_t> listSize =
      checkedMultiply<std::int64_t>(count ? count : 1, sizeof(CabinetEntry));
  auto* list = listSize
                   ? static_cast<CabinetEntry*>(allocZeroed(static_cast<std::size_t>(*listSize)))
                   : nullptr;
  if (!list) return 1;

  FileName path;
  FileName name;
  bool pathWhole = convertFileName(cabPath, path) && fits(path, kCabMaxCabPath);
  bool nameWhole = convertFileName(cabName, name) && fits(name, kCabMaxCabinetName);
  if (!pathWhole || !nameWhole) {
    // The cut name would make a cabinet somewhere the caller never named.
    traceMessage("Cannot create file: ", pathWhole ? name : path);
    freeBlock(list);
    return 1;
  }

  const StringHandle* elements = count ? stringElements(files) : nullptr;
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t length = std::max(javaStringLength(elements[i]), 0);
    std::optional<std::int32_t> size = checkedAdd(length, 1);
    std::optional<std::int64_t> utf8Size = checkedAdd<std::int64_t>(
        std::int64_t{length} * static_cast<std::int64_t>(platform::kUtf8BytesPerLatin1Character),
        1);
    list[i].stored =
        size ? static_cast<char*>(allocZeroed(static_cast<std::size_t>(*size))) : nullptr;
    list[i].source = list[i].stored && utf8Size
                         ? static_cast<char*>(allocZeroed(static_cast<std::size_t>(*utf8Size)))
                         : nullptr;
    if (!list[i].source) {
      freeEntries(list, i + 1);
      return 1;
    }
    // A '?' standing for another character, or a zero ending the text early, would store another
    // file than the caller's: the entry is refused as a file that cannot be opened.
    if (!convertEntryName(elements[i], length, list[i].stored, list[i].source)) {
      list[i].stored[0] = '\0';
      list[i].source[0] = '\0';
    }
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
