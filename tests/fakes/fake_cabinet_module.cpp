// Stand-in writer modules for the builder's binding tests, built in variants:
//   FAKE_NO_CREATE        exports no FCICreate
//   FAKE_NO_FLUSH_FOLDER  exports no FCIFlushFolder
//   FAKE_DESTROY_FAILS    FCIDestroy returns 2 and sets the error code to the number of writers
//                         this copy of the module has created, which shows whether the module
//                         stayed loaded between builds
// Every other operation succeeds without writing anything.
#include "platform/cabinet_interface/fci.h"

namespace {
[[maybe_unused]] int created = 0;
[[maybe_unused]] ERF* lastError = nullptr;
[[maybe_unused]] int handle = 0;
}  // namespace

#ifndef FAKE_NO_CREATE
FCI_API HFCI FCICreate(ERF* perf, PFNFCIFILEPLACED, PFNFCIALLOC, PFNFCIFREE, PFNFCIOPEN,
                       PFNFCIREAD, PFNFCIWRITE, PFNFCICLOSE, PFNFCISEEK, PFNFCIDELETE,
                       PFNFCIGETTEMPFILE, CCAB*, void*) {
  ++created;
  lastError = perf;
  return &handle;
}
#endif

FCI_API int FCIAddFile(HFCI, char*, char*, int, PFNFCIGETNEXTCABINET, PFNFCISTATUS,
                       PFNFCIGETOPENINFO, TCOMP) {
  return 1;
}

#ifndef FAKE_NO_FLUSH_FOLDER
FCI_API int FCIFlushFolder(HFCI, PFNFCIGETNEXTCABINET, PFNFCISTATUS) { return 1; }
#endif

FCI_API int FCIFlushCabinet(HFCI, int, PFNFCIGETNEXTCABINET, PFNFCISTATUS) { return 1; }

FCI_API int FCIDestroy(HFCI) {
#ifdef FAKE_DESTROY_FAILS
  lastError->erfOper = created;
  return 2;
#else
  return 1;
#endif
}
