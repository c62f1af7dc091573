// The cabinet writer's interface: the five operations of the File Compression Interface (FCI),
// their callbacks, the error record and the cabinet parameters record, written from the
// interface's public description. The cabinet builder calls it; on Windows the system's cabinet
// library implements it, elsewhere the writer module (cabwriter/) does. Neither side owns it.
//
// Every operation and every callback uses the C calling convention (DIAMONDAPI), as the system's
// library declares them: on 32-bit Windows a callback declared otherwise would not compile here
// rather than unbalance the stack there.
//
// Widths are those of the original interface: its ULONG and long are 32 bits, its UINT 32 bits,
// its USHORT 16 bits; handles and contexts are pointer-sized. File handles passed between the
// writer and its file callbacks are the callbacks' own integers; -1 is the failure value.
//
// Flags and permission modes that the writer hands to the open callback are the C runtime's
// values of the original platform (platform::kRuntime*, platform/common/runtime_flags.h), not
// the host's <fcntl.h> values, so that the same writer works with callbacks on either platform.
#pragma once

#include <cstdint>

#include "platform/common/runtime_flags.h"

#if defined(_WIN32) && defined(__i386__)
#define DIAMONDAPI __cdecl
#else
#define DIAMONDAPI
#endif

// How a module that implements the interface exports the five operations.
#if defined(_WIN32)
#define FCI_API extern "C" __declspec(dllexport)
#else
#define FCI_API extern "C" __attribute__((visibility("default")))
#endif

// The error record. The writer sets it when an operation fails.
struct ERF {
  int erfOper;  // the FCIERR_* code of the failure
  int erfType;  // the C runtime's error number (errno) behind it, when there is one
  int fError;   // nonzero once a failure has been recorded
};

// Error codes in ERF::erfOper.
enum FCIERROR : int {
  FCIERR_NONE = 0,
  FCIERR_OPEN_SRC = 1,          // a file to be stored could not be opened
  FCIERR_READ_SRC = 2,          // a file to be stored could not be read
  FCIERR_ALLOC_FAIL = 3,        // out of memory
  FCIERR_TEMP_FILE = 4,         // a temporary file could not be created, written or read
  FCIERR_BAD_COMPR_TYPE = 5,    // a compression type the writer does not know
  FCIERR_CAB_FILE = 6,          // the cabinet file could not be created or written
  FCIERR_USER_ABORT = 7,        // a callback asked to stop
  FCIERR_MCI_FAIL = 8,          // the compressor failed
  FCIERR_CAB_FORMAT_LIMIT = 9,  // the data would pass a limit of the cabinet format
};

constexpr int kCabMaxDiskName = 256;
constexpr int kCabMaxCabinetName = 256;
constexpr int kCabMaxCabPath = 256;

// The cabinet parameters record, in the interface's field order.
struct CCAB {
  std::uint32_t cb;              // maximum size of the cabinet
  std::uint32_t cbFolderThresh;  // compressed size at which a folder is closed on its own
  unsigned int cbReserveCFHeader;
  unsigned int cbReserveCFFolder;
  unsigned int cbReserveCFData;
  int iCab;  // sequence number of the cabinet in its set, counting from 1
  int iDisk;
  int fFailOnIncompressible;
  std::uint16_t setID;
  char szDisk[kCabMaxDiskName];
  char szCab[kCabMaxCabinetName];  // the cabinet's file name
  char szCabPath[kCabMaxCabPath];  // the folder it goes to
};

using HFCI = void*;
using TCOMP = std::uint16_t;
constexpr TCOMP tcompTYPE_NONE = 0;
constexpr TCOMP tcompTYPE_MSZIP = 1;

// Kinds of status report.
constexpr unsigned int statusFile = 0;     // cb1: compressed bytes of a block, cb2: its bytes
constexpr unsigned int statusFolder = 1;   // cb1: bytes copied so far, cb2: bytes of the folder
constexpr unsigned int statusCabinet = 2;  // cb1: estimated size, cb2: actual size

// Callbacks. `err` is the slot where a failing file callback stores errno; `pv` is the client
// context given to FCICreate.
using PFNFCIALLOC = void*(DIAMONDAPI*)(std::uint32_t cb);
using PFNFCIFREE = void(DIAMONDAPI*)(void* memory);
using PFNFCIOPEN = std::intptr_t(DIAMONDAPI*)(char* pszFile, int oflag, int pmode, int* err,
                                              void* pv);
using PFNFCIREAD = unsigned int(DIAMONDAPI*)(std::intptr_t hf, void* memory, unsigned int cb,
                                             int* err, void* pv);
using PFNFCIWRITE = unsigned int(DIAMONDAPI*)(std::intptr_t hf, void* memory, unsigned int cb,
                                              int* err, void* pv);
using PFNFCICLOSE = int(DIAMONDAPI*)(std::intptr_t hf, int* err, void* pv);
using PFNFCISEEK = std::int32_t(DIAMONDAPI*)(std::intptr_t hf, std::int32_t dist, int seektype,
                                             int* err, void* pv);
using PFNFCIDELETE = int(DIAMONDAPI*)(char* pszFile, int* err, void* pv);
// Fills pszTempName (capacity cbTempName bytes) with the name of a new temporary file; TRUE or
// FALSE.
using PFNFCIGETTEMPFILE = int(DIAMONDAPI*)(char* pszTempName, int cbTempName, void* pv);
// A file has been placed in a cabinet; -1 stops the writer.
using PFNFCIFILEPLACED = int(DIAMONDAPI*)(CCAB* pccab, char* pszFile, std::int32_t cbFile,
                                          int fContinuation, void* pv);
// Asked for the parameters of the next cabinet; FALSE stops the writer.
using PFNFCIGETNEXTCABINET = int(DIAMONDAPI*)(CCAB* pccab, std::uint32_t cbPrevCab, void* pv);
// A progress report; -1 stops the writer. For statusCabinet the result is the size the client
// wants the cabinet to have (the writer pads nothing and ignores it otherwise).
using PFNFCISTATUS = std::int32_t(DIAMONDAPI*)(unsigned int typeStatus, std::uint32_t cb1,
                                               std::uint32_t cb2, void* pv);
// Opens a file to be stored and gives its DOS date, DOS time and attributes; an open handle for
// the read callback, or -1.
using PFNFCIGETOPENINFO = std::intptr_t(DIAMONDAPI*)(char* pszName, std::uint16_t* pdate,
                                                     std::uint16_t* ptime, std::uint16_t* pattribs,
                                                     int* err, void* pv);

// The five operations, as the module exports them and as the builder looks them up by name.
using FnFCICreate = HFCI(DIAMONDAPI*)(ERF* perf, PFNFCIFILEPLACED pfnfcifp, PFNFCIALLOC pfna,
                                      PFNFCIFREE pfnf, PFNFCIOPEN pfnopen, PFNFCIREAD pfnread,
                                      PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose,
                                      PFNFCISEEK pfnseek, PFNFCIDELETE pfndelete,
                                      PFNFCIGETTEMPFILE pfnfcigtf, CCAB* pccab, void* pv);
using FnFCIAddFile = int(DIAMONDAPI*)(HFCI hfci, char* pszSourceFile, char* pszFileName,
                                      int fExecute, PFNFCIGETNEXTCABINET pfnfcignc,
                                      PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi,
                                      TCOMP typeCompress);
using FnFCIFlushCabinet = int(DIAMONDAPI*)(HFCI hfci, int fGetNextCab,
                                           PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis);
using FnFCIFlushFolder = int(DIAMONDAPI*)(HFCI hfci, PFNFCIGETNEXTCABINET pfnfcignc,
                                          PFNFCISTATUS pfnfcis);
using FnFCIDestroy = int(DIAMONDAPI*)(HFCI hfci);
