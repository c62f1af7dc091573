#include "library/cabinet/cabinet_builder.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "library/cabinet/cabinet_callbacks.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t kNoLimit = 0x7FFFFFFF;
constexpr std::uint16_t kSetIdentifier = 12345;

// The writer module and its five entry points, bound by each build for itself: two builds on two
// threads never share or unload each other's binding.
struct CabinetBinding {
  platform::ModuleHandle module = nullptr;
  FnFCICreate create = nullptr;
  FnFCIAddFile addFile = nullptr;
  FnFCIFlushCabinet flushCabinet = nullptr;
  FnFCIFlushFolder flushFolder = nullptr;
  FnFCIDestroy destroy = nullptr;

  template <typename Entry>
  Entry entryPoint(const char* name) const {
    return reinterpret_cast<Entry>(platform::findSymbol(module, name));
  }
  void releaseModule() {
    platform::freeModule(module);
    module = nullptr;
  }
};

// Loads the module, looks up its entry points and creates a writer; null (with the module
// released) when any step fails.
HFCI bindAndCreate(CabinetBinding& binding, ERF& error, CCAB& parameters, CabinetOutput& output) {
  binding.module = platform::loadModule("CABINET");
  if (!binding.module) {
    error.erfOper = kWriterUnavailable;
    return nullptr;
  }
  binding.create = binding.entryPoint<FnFCICreate>("FCICreate");
  binding.addFile = binding.entryPoint<FnFCIAddFile>("FCIAddFile");
  binding.flushCabinet = binding.entryPoint<FnFCIFlushCabinet>("FCIFlushCabinet");
  binding.flushFolder = binding.entryPoint<FnFCIFlushFolder>("FCIFlushFolder");
  binding.destroy = binding.entryPoint<FnFCIDestroy>("FCIDestroy");
  // A missing FCIFlushFolder only matters at the first "+".
  if (!binding.create || !binding.addFile || !binding.flushCabinet || !binding.destroy) {
    binding.releaseModule();
    error.erfOper = kWriterUnavailable;
    return nullptr;
  }
  HFCI writer = binding.create(&error, cabinetFilePlaced, cabinetAllocate, cabinetRelease,
                               cabinetOpen, cabinetRead, cabinetWrite, cabinetClose, cabinetSeek,
                               cabinetDelete, cabinetTempName, &parameters, &output);
  if (!writer) binding.releaseModule();
  return writer;
}

// The entry is read from `source` and stored under its own text.
int addFile(const CabinetBinding& binding, HFCI writer, char* source, char* entry) {
  return binding.addFile ? binding.addFile(writer, source, entry, 0, cabinetNextCabinet,
                                           cabinetStatus, cabinetOpenInfo, tcompTYPE_MSZIP)
                         : 0;
}

int flushFolder(const CabinetBinding& binding, HFCI writer, ERF& error) {
  if (!binding.flushFolder) {
    error.erfOper = kWriterUnavailable;
    return 0;
  }
  return binding.flushFolder(writer, cabinetNextCabinet, cabinetStatus);
}

int flushCabinet(const CabinetBinding& binding, HFCI writer) {
  return binding.flushCabinet ? binding.flushCabinet(writer, 0, cabinetNextCabinet, cabinetStatus)
                              : 0;
}

// The module is released only when the writer was: one that failed to go may still run code
// from it.
int destroy(CabinetBinding& binding, HFCI writer) {
  if (!binding.destroy) return 0;
  int result = binding.destroy(writer);
  if (result == 1) binding.releaseModule();
  return result;
}

void printFailure(const char* operation, int code) {
  std::printf("%s() failed: code %d [%s]\n", operation, code, cabinetErrorText(code));
  std::fflush(stdout);
}

// Where an entry is read from: a relative entry from the cabinet path, as if that path were the
// current directory (which no build may change: other threads resolve names against it), an
// absolute one as it stands. Only the entry is bounded (by the writer, as the name it stores);
// the joined name goes to the system whole, and one that the system cannot take fails to open.
std::string sourceName(const char* cabPath, const char* entry) {
  return platform::joinedName(cabPath, entry);
}

void copyText(char* field, std::size_t size, const char* text) {
  std::strncpy(field, text ? text : "", size - 1);
  field[size - 1] = '\0';
}

}  // namespace

void fillCabinetParameters(CCAB& parameters, const char* cabPath, const char* cabName) {
  std::memset(&parameters, 0, sizeof parameters);
  parameters.cb = kNoLimit;
  parameters.cbFolderThresh = kNoLimit;
  parameters.cbReserveCFHeader = 0;
  parameters.cbReserveCFFolder = 0;
  parameters.cbReserveCFData = 0;
  parameters.iCab = 1;
  parameters.iDisk = 0;
  parameters.fFailOnIncompressible = 0;
  parameters.setID = kSetIdentifier;
  copyText(parameters.szCab, sizeof parameters.szCab, cabName);
  copyText(parameters.szCabPath, sizeof parameters.szCabPath, cabPath);
}

const char* cabinetErrorText(int code) {
  switch (code) {
    case 0:
      return "No error";
    case 1:
      return "Failure opening file to be stored in cabinet";
    case 2:
      return "Failure reading file to be stored in cabinet";
    case 3:
      return "Insufficient memory in FCI";
    case 4:
      return "Could not create a temporary file";
    case 5:
      return "Unknown compression type";
    case 6:
      return "Could not create cabinet file";
    case 7:
      return "Client requested abort";
    case 8:
      return "Failure compressing data";
    default:
      return "Unknown error";
  }
}

int buildCabinet(std::int32_t count, const CabinetEntry* entries, const char* cabPath,
                 const char* cabName, char (&errorText)[kErrorTextSize]) {
  std::memset(errorText, 0, sizeof errorText);
  CCAB parameters;
  fillCabinetParameters(parameters, cabPath, cabName);
  ERF error{};
  CabinetBinding binding;
  // The cabinet is written beside its name and takes its place only once the writer has flushed
  // it whole; declared before the writer's handle is used, it outlives every callback.
  CabinetOutput output;
  output.expectCabinet(parameters);

  auto fail = [&](const char* operation, const char* entry) {
    printFailure(operation, error.erfOper);
    if (entry) {
      std::snprintf(errorText, sizeof errorText, "%s: '%s'", cabinetErrorText(error.erfOper),
                    entry);
    } else {
      std::snprintf(errorText, sizeof errorText, "%s", cabinetErrorText(error.erfOper));
    }
    return 0;
  };

  HFCI writer = bindAndCreate(binding, error, parameters, output);
  if (!writer) return fail("FCICreate", nullptr);

  for (std::int32_t i = 0; i < count; ++i) {
    char* entry = entries[i].stored;
    if (std::strcmp(entry, "+") == 0) {
      if (!flushFolder(binding, writer, error)) {
        fail("FCIFlushFolder", nullptr);
        destroy(binding, writer);
        return 0;
      }
      continue;
    }
    const char* from = entries[i].source;
    std::string source = sourceName(cabPath, from);
    if (entry[0] == '\0' || from[0] == '\0') {
      // An empty entry names no file (the export gives one for a name it refuses): refused as
      // unopenable.
      error.erfOper = FCIERR_OPEN_SRC;
      fail("FCIAddFile", entry);
      destroy(binding, writer);
      return 0;
    }
    if (!addFile(binding, writer, source.data(), entry)) {
      fail("FCIAddFile", entry);
      destroy(binding, writer);
      return 0;
    }
  }
  bool flushed = flushCabinet(binding, writer);
  if (flushed && !output.commit()) {
    error.erfOper = FCIERR_CAB_FILE;
    flushed = false;
  }
  if (!flushed) {
    fail("FCIFlushCabinet", nullptr);
    destroy(binding, writer);
    return 0;
  }
  if (destroy(binding, writer) != 1) return fail("FCIDestroy", nullptr);
  std::snprintf(errorText, sizeof errorText, "%s", cabinetErrorText(error.erfOper));
  return 1;
}
