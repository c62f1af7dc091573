#include "library/cabinet/cabinet_builder.h"

#include <cstdio>
#include <cstring>

#include "library/cabinet/cabinet_callbacks.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t kNoLimit = 0x7FFFFFFF;
constexpr std::uint16_t kSetIdentifier = 12345;

// The writer module and its five entry points, set anew by every build.
struct CabinetBinding {
  platform::ModuleHandle module;
  FnFCICreate create;
  FnFCIAddFile addFile;
  FnFCIFlushCabinet flushCabinet;
  FnFCIFlushFolder flushFolder;
  FnFCIDestroy destroy;
};
CabinetBinding binding;

template <typename Entry>
Entry entryPoint(const char* name) {
  return reinterpret_cast<Entry>(platform::findSymbol(binding.module, name));
}

void releaseModule() {
  platform::freeModule(binding.module);
  binding.module = nullptr;
}

// Loads the module, looks up its entry points and creates a writer; null (with the module
// released) when any step fails.
HFCI bindAndCreate(ERF& error, CCAB& parameters) {
  binding = CabinetBinding{};
  binding.module = platform::loadModule("CABINET");
  if (!binding.module) {
    error.erfOper = kWriterUnavailable;
    return nullptr;
  }
  binding.create = entryPoint<FnFCICreate>("FCICreate");
  binding.addFile = entryPoint<FnFCIAddFile>("FCIAddFile");
  binding.flushCabinet = entryPoint<FnFCIFlushCabinet>("FCIFlushCabinet");
  binding.flushFolder = entryPoint<FnFCIFlushFolder>("FCIFlushFolder");
  binding.destroy = entryPoint<FnFCIDestroy>("FCIDestroy");
  // A missing FCIFlushFolder only matters at the first "+".
  if (!binding.create || !binding.addFile || !binding.flushCabinet || !binding.destroy) {
    releaseModule();
    error.erfOper = kWriterUnavailable;
    return nullptr;
  }
  HFCI writer = binding.create(&error, cabinetFilePlaced, cabinetAllocate, cabinetRelease,
                               cabinetOpen, cabinetRead, cabinetWrite, cabinetClose, cabinetSeek,
                               cabinetDelete, cabinetTempName, &parameters, nullptr);
  if (!writer) releaseModule();
  return writer;
}

int addFile(HFCI writer, char* entry) {
  return binding.addFile ? binding.addFile(writer, entry, entry, 0, cabinetNextCabinet,
                                           cabinetStatus, cabinetOpenInfo, tcompTYPE_MSZIP)
                         : 0;
}

int flushFolder(HFCI writer, ERF& error) {
  if (!binding.flushFolder) {
    error.erfOper = kWriterUnavailable;
    return 0;
  }
  return binding.flushFolder(writer, cabinetNextCabinet, cabinetStatus);
}

int flushCabinet(HFCI writer) {
  return binding.flushCabinet
             ? binding.flushCabinet(writer, 0, cabinetNextCabinet, cabinetStatus)
             : 0;
}

// The module is released only when the writer was: one that failed to go may still run code
// from it.
int destroy(HFCI writer) {
  if (!binding.destroy) return 0;
  int result = binding.destroy(writer);
  if (result == 1) releaseModule();
  return result;
}

void printFailure(const char* operation, int code) {
  std::printf("%s() failed: code %d [%s]\n", operation, code, cabinetErrorText(code));
  std::fflush(stdout);
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
    case 0: return "No error";
    case 1: return "Failure opening file to be stored in cabinet";
    case 2: return "Failure reading file to be stored in cabinet";
    case 3: return "Insufficient memory in FCI";
    case 4: return "Could not create a temporary file";
    case 5: return "Unknown compression type";
    case 6: return "Could not create cabinet file";
    case 7: return "Client requested abort";
    case 8: return "Failure compressing data";
    default: return "Unknown error";
  }
}

int buildCabinet(std::int32_t count, char* const* entries, const char* cabPath,
                 const char* cabName, char (&errorText)[kErrorTextSize]) {
  std::memset(errorText, 0, sizeof errorText);
  CCAB parameters;
  fillCabinetParameters(parameters, cabPath, cabName);
  ERF error{};

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

  HFCI writer = bindAndCreate(error, parameters);
  if (!writer) return fail("FCICreate", nullptr);

  for (std::int32_t i = 0; i < count; ++i) {
    char* entry = entries[i];
    if (std::strcmp(entry, "+") == 0) {
      if (!flushFolder(writer, error)) {
        fail("FCIFlushFolder", nullptr);
        destroy(writer);
        return 0;
      }
    } else if (!addFile(writer, entry)) {
      fail("FCIAddFile", entry);
      destroy(writer);
      return 0;
    }
  }
  if (!flushCabinet(writer)) {
    fail("FCIFlushCabinet", nullptr);
    destroy(writer);
    return 0;
  }
  if (destroy(writer) != 1) return fail("FCIDestroy", nullptr);
  std::snprintf(errorText, sizeof errorText, "%s", cabinetErrorText(error.erfOper));
  return 1;
}
