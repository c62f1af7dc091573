// The cabinet writer module: the five FCI operations over MSZIP blocks.
//
// Files added to the writer are read through the client's open-info and read callbacks and cut
// into 32768-byte blocks of the current folder's data (a folder's data is its files one after the
// other; a block may hold the end of one file and the start of the next). Full blocks are handed
// to the block compressor, which compresses them on several threads while the next ones are read
// (each with the previous block of its folder as its dictionary); their CFDATA records come back
// in order and are appended, through the client's file callbacks, to one temporary file. Flushing
// the cabinet writes the header, the folder and file tables and then copies the blocks from the
// temporary file into the cabinet file.
//
// Every callback is called on the thread that called the operation, and every block handed over
// during an operation has been written (or dropped after a failure), and the compressor's threads
// have ended, before the operation returns. The number of threads is the number of processors,
// or the value of the environment variable TAVOLIN_CAB_THREADS (1 to 64) read by FCICreate, for
// tests and measurements; the cabinet's bytes do not depend on it.
//
// Everything the writer allocates comes from the client's allocation callback. After a failure
// that leaves a folder's data inconsistent (a source that could not be read to its end, a block
// that could not be written) the handle refuses further work with the same error; it can still be
// destroyed. A cabinet file that could not be written completely is deleted again. Cabinets are
// never split: where a real FCI would continue into a next cabinet (the size limit in CCAB::cb),
// this writer fails with FCIERR_CAB_FORMAT_LIMIT. No exception leaves an operation: one that
// arises inside (the system refusing memory) is reported as FCIERR_ALLOC_FAIL.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "cabwriter/block_compressor.h"
#include "cabwriter/cab_format.h"
#include "platform/cabinet_interface/fci.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t kMagic = 0x46434957;  // "WICF": a live writer handle
constexpr std::uint32_t kOutputBufferSize = 1u << 18;
constexpr int kSeekSet = 0;
constexpr std::uint32_t kBadCount = static_cast<std::uint32_t>(-1);
// How the temporary file and the cabinet are opened: made anew or emptied, for reading and
// writing, with write permission.
constexpr int kNewFileFlags = platform::kRuntimeReadWrite | platform::kRuntimeCreate |
                              platform::kRuntimeTruncate | platform::kRuntimeBinary;
constexpr int kNewFileMode = platform::kRuntimePermissionRead | platform::kRuntimePermissionWrite;

struct FolderRecord {
  std::uint64_t dataOffset;  // of its first block in the temporary file
  std::uint32_t blocks;
};

struct FileRecord {
  std::uint32_t size;
  std::uint32_t folderOffset;
  std::uint16_t folder;
  std::uint16_t date;
  std::uint16_t time;
  std::uint16_t attributes;
  std::uint32_t nameOffset;  // into the name pool, zero-terminated there
  std::uint32_t nameLength;
};

// A growing array of plain records in the client's memory.
template <typename T>
class Array {
 public:
  Array(PFNFCIALLOC allocate, PFNFCIFREE release) : allocate_(allocate), release_(release) {}
  ~Array() { release_(data_); }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;

  bool append(const T* items, std::uint32_t count) {
    if (count > capacity_ - size_) {
      std::uint64_t wanted = std::uint64_t{size_} + count;
      std::uint64_t grown = capacity_ ? std::uint64_t{capacity_} * 2 : 64;
      if (grown < wanted) grown = wanted;
      if (grown * sizeof(T) > 0xFFFFFFFFu) return false;
      T* bigger = static_cast<T*>(allocate_(static_cast<std::uint32_t>(grown * sizeof(T))));
      if (!bigger) return false;
      if (size_) std::memcpy(bigger, data_, size_ * sizeof(T));
      release_(data_);
      data_ = bigger;
      capacity_ = static_cast<std::uint32_t>(grown);
    }
    std::memcpy(data_ + size_, items, count * sizeof(T));
    size_ += count;
    return true;
  }
  void clear() { size_ = 0; }
  std::uint32_t size() const { return size_; }
  T& operator[](std::uint32_t i) { return data_[i]; }

 private:
  PFNFCIALLOC allocate_;
  PFNFCIFREE release_;
  T* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
};

// Threads compressing blocks: one per processor this thread may run on (not the machine's count:
// under taskset or in a container the others are not ours) unless the environment says otherwise.
unsigned compressorThreads() {
  if (const char* wanted = std::getenv("TAVOLIN_CAB_THREADS")) {
    char* end = nullptr;
    long count = std::strtol(wanted, &end, 10);
    if (end != wanted && *end == '\0' && count >= 1 &&
        count <= static_cast<long>(cab::BlockCompressor::kMaxThreads)) {
      return static_cast<unsigned>(count);
    }
  }
  return platform::usableProcessorCount();
}

struct Writer {
  Writer(ERF* erf, PFNFCIFILEPLACED placed, PFNFCIALLOC allocate, PFNFCIFREE release,
         PFNFCIOPEN open, PFNFCIREAD read, PFNFCIWRITE write, PFNFCICLOSE close, PFNFCISEEK seek,
         PFNFCIDELETE remove, PFNFCIGETTEMPFILE tempName, const CCAB& parameters, void* context)
      : erf(erf),
        placed(placed),
        allocate(allocate),
        release(release),
        open(open),
        read(read),
        write(write),
        close(close),
        seek(seek),
        remove(remove),
        tempName(tempName),
        context(context),
        parameters(parameters),
        compressor(allocate, release, compressorThreads()),
        folders(allocate, release),
        files(allocate, release),
        names(allocate, release) {}

  std::uint32_t magic = kMagic;
  ERF* erf;
  PFNFCIFILEPLACED placed;
  PFNFCIALLOC allocate;
  PFNFCIFREE release;
  PFNFCIOPEN open;
  PFNFCIREAD read;
  PFNFCIWRITE write;
  PFNFCICLOSE close;
  PFNFCISEEK seek;
  PFNFCIDELETE remove;
  PFNFCIGETTEMPFILE tempName;
  void* context;
  CCAB parameters;
  bool broken = false;

  cab::BlockCompressor compressor;
  std::uint32_t blockFill = 0;     // bytes in the compressor's block being filled
  bool blockFollows = false;       // the block being filled follows a full one of its folder
  std::uint8_t* output = nullptr;  // CFDATA records not yet written to the temporary file
  std::uint32_t outputFill = 0;

  char tempFileName[256] = {};
  std::intptr_t tempFile = -1;
  std::uint64_t dataBytes = 0;  // CFDATA bytes of this cabinet, written and buffered

  Array<FolderRecord> folders;    // closed folders of this cabinet
  std::uint64_t folderStart = 0;  // data offset of the open folder's first block
  std::uint32_t folderBlocks = 0;
  std::uint64_t folderBytes = 0;  // uncompressed bytes of the open folder
  std::uint64_t folderCompressed = 0;
  bool folderHasFiles = false;

  Array<FileRecord> files;
  Array<char> names;
  std::uint64_t fileTableBytes = 0;

  // Records a failure; always false, so callers can return it.
  bool fail(int code, int error = 0) {
    if (erf) {
      erf->erfOper = code;
      erf->erfType = error;
      erf->fError = 1;
    }
    return false;
  }
  // A failure after which the writer's state no longer describes a sound cabinet.
  bool breakDown(int code, int error = 0) {
    broken = true;
    return fail(code, error);
  }
};

Writer* writerOf(HFCI handle) {
  auto* writer = static_cast<Writer*>(handle);
  return writer && writer->magic == kMagic ? writer : nullptr;
}

std::uint64_t cabinetLimit(const CCAB& parameters) {
  return parameters.cb != 0 && parameters.cb < cab::kMaxCabinetSize ? parameters.cb
                                                                    : cab::kMaxCabinetSize;
}

// The size the cabinet would have with what it holds now.
std::uint64_t cabinetSize(const Writer& w) {
  return cab::kHeaderSize + std::uint64_t{cab::kFolderEntrySize} * (w.folders.size() + 1) +
         w.fileTableBytes + w.dataBytes;
}

bool openTempFile(Writer& w) {
  if (w.tempFile != -1) return true;
  if (!w.tempName(w.tempFileName, static_cast<int>(sizeof w.tempFileName), w.context)) {
    return w.fail(FCIERR_TEMP_FILE);
  }
  int error = 0;
  w.tempFile = w.open(w.tempFileName, kNewFileFlags, kNewFileMode, &error, w.context);
  if (w.tempFile == -1) {
    int ignored = 0;
    w.remove(w.tempFileName, &ignored, w.context);
    return w.fail(FCIERR_TEMP_FILE, error);
  }
  return true;
}

void dropTempFile(Writer& w) {
  if (w.tempFile == -1) return;
  int ignored = 0;
  w.close(w.tempFile, &ignored, w.context);
  w.remove(w.tempFileName, &ignored, w.context);
  w.tempFile = -1;
}

bool writeOutput(Writer& w) {
  if (w.outputFill == 0) return true;
  if (!openTempFile(w)) return w.breakDown(w.erf ? w.erf->erfOper : FCIERR_TEMP_FILE);
  int error = 0;
  if (w.write(w.tempFile, w.output, w.outputFill, &error, w.context) != w.outputFill) {
    return w.breakDown(FCIERR_TEMP_FILE, error);
  }
  w.outputFill = 0;
  return true;
}

bool prepareBuffers(Writer& w) {
  if (!w.output) w.output = static_cast<std::uint8_t*>(w.allocate(kOutputBufferSize));
  if (!w.output || !w.compressor.prepare()) return w.fail(FCIERR_ALLOC_FAIL);
  return true;
}

// Takes back the oldest compressed block and appends its CFDATA record.
bool retireBlock(Writer& w, PFNFCISTATUS status) {
  cab::CompressedBlock block = w.compressor.oldest();
  if (block.recordSize == 0) return w.breakDown(FCIERR_MCI_FAIL);
  if (kOutputBufferSize - w.outputFill < block.recordSize && !writeOutput(w)) return false;
  std::memcpy(w.output + w.outputFill, block.record, block.recordSize);
  w.compressor.dropOldest();
  w.outputFill += block.recordSize;
  w.dataBytes += block.recordSize;
  w.folderCompressed += block.recordSize;
  if (cabinetSize(w) > cabinetLimit(w.parameters)) return w.breakDown(FCIERR_CAB_FORMAT_LIMIT);
  if (status && status(statusFile, block.compressed, block.uncompressed, w.context) == -1) {
    return w.breakDown(FCIERR_USER_ABORT);
  }
  return true;
}

// Takes back every block handed over: done before an operation returns and before a folder is
// closed.
bool retireBlocks(Writer& w, PFNFCISTATUS status) {
  while (w.compressor.pending() > 0) {
    if (!retireBlock(w, status)) return false;
  }
  w.compressor.finish();
  return true;
}

// Hands the current block to the compressor, taking back finished ones while its ring is full.
bool emitBlock(Writer& w, PFNFCISTATUS status) {
  if (w.folderBlocks >= cab::kMaxBlocksPerFolder) return w.breakDown(FCIERR_CAB_FORMAT_LIMIT);
  w.compressor.submit(w.blockFill, w.blockFollows);
  // Only a full block is followed by another of the same folder.
  w.blockFollows = w.blockFill == cab::kBlockSize;
  ++w.folderBlocks;
  w.blockFill = 0;
  while (w.compressor.full()) {
    if (!retireBlock(w, status)) return false;
  }
  return true;
}

bool flushFolder(Writer& w, PFNFCISTATUS status) {
  if (!w.folderHasFiles) return true;
  // A folder of empty files still gets one (empty) block, so that no reader meets a folder
  // without data.
  if ((w.blockFill > 0 || w.folderBlocks == 0) && !emitBlock(w, status)) return false;
  if (!retireBlocks(w, status)) return false;
  if (w.folders.size() >= cab::kMaxFolders) return w.breakDown(FCIERR_CAB_FORMAT_LIMIT);
  FolderRecord folder{w.folderStart, w.folderBlocks};
  if (!w.folders.append(&folder, 1)) return w.breakDown(FCIERR_ALLOC_FAIL);
  if (status && status(statusFolder, static_cast<std::uint32_t>(w.folderCompressed),
                       static_cast<std::uint32_t>(w.folderCompressed), w.context) == -1) {
    return w.breakDown(FCIERR_USER_ABORT);
  }
  w.folderStart = w.dataBytes;
  w.folderBlocks = 0;
  w.folderBytes = 0;
  w.folderCompressed = 0;
  w.folderHasFiles = false;
  // The next folder starts afresh: its first block refers to nothing before it.
  w.blockFollows = false;
  return true;
}

// Reads the whole source into the open folder; the number of bytes through `size`.
bool readSource(Writer& w, std::intptr_t source, PFNFCISTATUS status, std::uint64_t& size) {
  for (;;) {
    int error = 0;
    std::uint32_t room = cab::kBlockSize - w.blockFill;
    std::uint32_t got = w.read(source, w.compressor.input() + w.blockFill, room, &error, w.context);
    if (got == kBadCount || got > room) return w.breakDown(FCIERR_READ_SRC, error);
    if (got == 0) return true;
    if (w.folderBytes + got > cab::kMaxFolderBytes) return w.breakDown(FCIERR_CAB_FORMAT_LIMIT);
    w.blockFill += got;
    w.folderBytes += got;
    size += got;
    if (w.blockFill == cab::kBlockSize && !emitBlock(w, status)) return false;
  }
}

// The cabinet's location: the path, a separator when the path does not end in one, the name.
bool cabinetLocation(const CCAB& parameters, char* location, std::size_t capacity) {
  std::size_t pathLength = strnlen(parameters.szCabPath, sizeof parameters.szCabPath);
  std::size_t nameLength = strnlen(parameters.szCab, sizeof parameters.szCab);
  if (pathLength == sizeof parameters.szCabPath || nameLength == sizeof parameters.szCab ||
      nameLength == 0) {
    return false;
  }
  bool separator = pathLength > 0 && parameters.szCabPath[pathLength - 1] != '/' &&
                   parameters.szCabPath[pathLength - 1] != '\\';
  if (pathLength + separator + nameLength + 1 > capacity) return false;
  std::memcpy(location, parameters.szCabPath, pathLength);
  if (separator) location[pathLength] = '/';
  std::memcpy(location + pathLength + separator, parameters.szCab, nameLength + 1);
  return true;
}

// The header and the folder and file tables, laid out into `out` (tableSize bytes).
void layOutTables(Writer& w, std::uint8_t* out, std::uint32_t tableSize, std::uint32_t total) {
  std::memset(out, 0, tableSize);
  const std::uint32_t folderCount = w.folders.size();
  const std::uint32_t filesAt = cab::kHeaderSize + cab::kFolderEntrySize * folderCount;
  std::memcpy(out, "MSCF", 4);
  cab::put32(out + 8, total);
  cab::put32(out + 16, filesAt);
  out[24] = 3;  // format version 1.3
  out[25] = 1;
  cab::put16(out + 26, folderCount);
  cab::put16(out + 28, w.files.size());
  cab::put16(out + 30, 0);  // no reserved areas, no previous or next cabinet
  cab::put16(out + 32, w.parameters.setID);
  // The header counts cabinets of a set from 0; the parameters record counts them from 1.
  cab::put16(out + 34, static_cast<std::uint32_t>(w.parameters.iCab - 1));
  std::uint8_t* folder = out + cab::kHeaderSize;
  for (std::uint32_t i = 0; i < folderCount; ++i, folder += cab::kFolderEntrySize) {
    cab::put32(folder, static_cast<std::uint32_t>(tableSize + w.folders[i].dataOffset));
    cab::put16(folder + 4, w.folders[i].blocks);
    cab::put16(folder + 6, cab::kCompressionMszip);
  }
  std::uint8_t* file = out + filesAt;
  for (std::uint32_t i = 0; i < w.files.size(); ++i) {
    const FileRecord& record = w.files[i];
    cab::put32(file, record.size);
    cab::put32(file + 4, record.folderOffset);
    cab::put16(file + 8, record.folder);
    cab::put16(file + 10, record.date);
    cab::put16(file + 12, record.time);
    cab::put16(file + 14, record.attributes);
    std::memcpy(file + cab::kFileEntrySize, &w.names[record.nameOffset], record.nameLength + 1);
    file += cab::kFileEntrySize + record.nameLength + 1;
  }
}

// Writes the cabinet file: tables, then the blocks copied from the temporary file.
bool writeCabinet(Writer& w, std::intptr_t cabinet, const std::uint8_t* tables,
                  std::uint32_t tableSize) {
  int error = 0;
  if (w.write(cabinet, const_cast<std::uint8_t*>(tables), tableSize, &error, w.context) !=
      tableSize) {
    return w.fail(FCIERR_CAB_FILE, error);
  }
  if (w.dataBytes == 0) return true;
  if (w.seek(w.tempFile, 0, kSeekSet, &error, w.context) != 0) {
    return w.fail(FCIERR_TEMP_FILE, error);
  }
  for (std::uint64_t left = w.dataBytes; left > 0;) {
    std::uint32_t chunk =
        left < kOutputBufferSize ? static_cast<std::uint32_t>(left) : kOutputBufferSize;
    if (w.read(w.tempFile, w.output, chunk, &error, w.context) != chunk) {
      return w.fail(FCIERR_TEMP_FILE, error);
    }
    if (w.write(cabinet, w.output, chunk, &error, w.context) != chunk) {
      return w.fail(FCIERR_CAB_FILE, error);
    }
    left -= chunk;
  }
  return true;
}

bool flushCabinet(Writer& w, PFNFCISTATUS status) {
  if (!flushFolder(w, status)) return false;
  if (!prepareBuffers(w) || !writeOutput(w)) return false;
  const std::uint64_t tables64 =
      cab::kHeaderSize + std::uint64_t{cab::kFolderEntrySize} * w.folders.size() + w.fileTableBytes;
  const std::uint64_t total64 = tables64 + w.dataBytes;
  if (total64 > cabinetLimit(w.parameters)) return w.breakDown(FCIERR_CAB_FORMAT_LIMIT);
  const auto tableSize = static_cast<std::uint32_t>(tables64);
  const auto total = static_cast<std::uint32_t>(total64);
  if (status && status(statusCabinet, total, total, w.context) == -1) {
    return w.fail(FCIERR_USER_ABORT);
  }

  char location[kCabMaxCabPath + kCabMaxCabinetName + 1];
  if (!cabinetLocation(w.parameters, location, sizeof location)) return w.fail(FCIERR_CAB_FILE);
  auto* tables = static_cast<std::uint8_t*>(w.allocate(tableSize));
  if (!tables) return w.fail(FCIERR_ALLOC_FAIL);
  layOutTables(w, tables, tableSize, total);

  int error = 0;
  std::intptr_t cabinet = w.open(location, kNewFileFlags, kNewFileMode, &error, w.context);
  if (cabinet == -1) {
    w.release(tables);
    return w.fail(FCIERR_CAB_FILE, error);
  }
  bool written = writeCabinet(w, cabinet, tables, tableSize);
  w.release(tables);
  int closeError = 0;
  if (w.close(cabinet, &closeError, w.context) != 0 && written) {
    written = w.fail(FCIERR_CAB_FILE, closeError);
  }
  if (!written) {
    // Never leave a cabinet that a reader would find cut short.
    int ignored = 0;
    w.remove(location, &ignored, w.context);
    return false;
  }

  // Start afresh for a further cabinet of the set.
  dropTempFile(w);
  w.dataBytes = 0;
  w.folderStart = 0;
  w.folders.clear();
  w.files.clear();
  w.names.clear();
  w.fileTableBytes = 0;
  return true;
}

// Runs one operation on a live handle. Whatever its outcome, no block stays handed over and no
// thread of the compressor runs when it returns; an exception from inside becomes an allocation
// failure.
template <typename Operation>
int runOperation(HFCI handle, Operation operation) {
  Writer* writer = writerOf(handle);
  if (!writer || writer->broken) return 0;
  int result = 0;
  try {
    result = operation(*writer);
  } catch (...) {
    result = writer->breakDown(FCIERR_ALLOC_FAIL);
  }
  try {
    writer->compressor.discard();
  } catch (...) {
    result = writer->breakDown(FCIERR_ALLOC_FAIL);
  }
  return result;
}

int addFile(Writer& w, char* pszSourceFile, char* pszFileName, int fExecute, PFNFCISTATUS pfnfcis,
            PFNFCIGETOPENINFO pfnfcigoi, TCOMP typeCompress) {
  if (!pszSourceFile || !pszFileName || !pfnfcigoi) return w.fail(FCIERR_OPEN_SRC);
  if ((typeCompress & 0x000F) != tcompTYPE_MSZIP) return w.fail(FCIERR_BAD_COMPR_TYPE);
  std::size_t nameLength = std::strlen(pszFileName);
  if (nameLength == 0 || nameLength > cab::kMaxNameLength || w.files.size() >= cab::kMaxFiles) {
    return w.fail(FCIERR_CAB_FORMAT_LIMIT);
  }
  if (!prepareBuffers(w)) return 0;
  // A folder that has reached the client's threshold is closed before the next file.
  if (w.parameters.cbFolderThresh != 0 && w.folderHasFiles &&
      w.folderCompressed >= w.parameters.cbFolderThresh && !flushFolder(w, pfnfcis)) {
    return 0;
  }
  if (!w.folderHasFiles && w.folders.size() >= cab::kMaxFolders) {
    return w.fail(FCIERR_CAB_FORMAT_LIMIT);
  }

  std::uint16_t date = 0;
  std::uint16_t time = 0;
  std::uint16_t attributes = 0;
  int error = 0;
  std::intptr_t source = pfnfcigoi(pszSourceFile, &date, &time, &attributes, &error, w.context);
  if (source == -1) return w.fail(FCIERR_OPEN_SRC, error);

  const std::uint64_t start = w.folderBytes;
  std::uint64_t size = 0;
  w.folderHasFiles = true;  // even a failed read has put bytes into the folder
  bool read = readSource(w, source, pfnfcis, size);
  int ignored = 0;
  w.close(source, &ignored, w.context);
  if (!read || !retireBlocks(w, pfnfcis)) return 0;

  FileRecord record{static_cast<std::uint32_t>(size),
                    static_cast<std::uint32_t>(start),
                    static_cast<std::uint16_t>(w.folders.size()),
                    date,
                    time,
                    static_cast<std::uint16_t>(fExecute ? attributes | cab::kAttributeExecute
                                                        : attributes & ~cab::kAttributeExecute),
                    w.names.size(),
                    static_cast<std::uint32_t>(nameLength)};
  if (!w.names.append(pszFileName, static_cast<std::uint32_t>(nameLength) + 1) ||
      !w.files.append(&record, 1)) {
    return w.breakDown(FCIERR_ALLOC_FAIL);
  }
  // Names are stored with the format's separator.
  char* stored = &w.names[record.nameOffset];
  for (std::size_t i = 0; i < nameLength; ++i) {
    if (stored[i] == '/') stored[i] = '\\';
  }
  w.fileTableBytes += cab::kFileEntrySize + nameLength + 1;
  if (cabinetSize(w) > cabinetLimit(w.parameters)) return w.breakDown(FCIERR_CAB_FORMAT_LIMIT);
  if (w.placed(&w.parameters, pszFileName, static_cast<std::int32_t>(record.size), 0, w.context) ==
      -1) {
    return w.breakDown(FCIERR_USER_ABORT);
  }
  return 1;
}

}  // namespace

FCI_API HFCI FCICreate(ERF* perf, PFNFCIFILEPLACED pfnfcifp, PFNFCIALLOC pfna, PFNFCIFREE pfnf,
                       PFNFCIOPEN pfnopen, PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite,
                       PFNFCICLOSE pfnclose, PFNFCISEEK pfnseek, PFNFCIDELETE pfndelete,
                       PFNFCIGETTEMPFILE pfnfcigtf, CCAB* pccab, void* pv) {
  auto fail = [perf](int code) -> HFCI {
    if (perf) {
      perf->erfOper = code;
      perf->erfType = 0;
      perf->fError = 1;
    }
    return nullptr;
  };
  if (!pfnfcifp || !pfna || !pfnf || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek ||
      !pfndelete || !pfnfcigtf || !pccab) {
    return fail(FCIERR_USER_ABORT);
  }
  // Reserved areas are not written, and the header's 16-bit sequence number counts from 0.
  if (pccab->cbReserveCFHeader || pccab->cbReserveCFFolder || pccab->cbReserveCFData ||
      pccab->iCab < 1 || pccab->iCab > 0x10000) {
    return fail(FCIERR_CAB_FORMAT_LIMIT);
  }
  void* memory = pfna(sizeof(Writer));
  if (!memory) return fail(FCIERR_ALLOC_FAIL);
  if (perf) *perf = ERF{};
  try {
    return new (memory) Writer(perf, pfnfcifp, pfna, pfnf, pfnopen, pfnread, pfnwrite, pfnclose,
                               pfnseek, pfndelete, pfnfcigtf, *pccab, pv);
  } catch (...) {
    pfnf(memory);
    return fail(FCIERR_ALLOC_FAIL);
  }
}

FCI_API int FCIAddFile(HFCI hfci, char* pszSourceFile, char* pszFileName, int fExecute,
                       PFNFCIGETNEXTCABINET, PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi,
                       TCOMP typeCompress) {
  return runOperation(hfci, [&](Writer& w) {
    return addFile(w, pszSourceFile, pszFileName, fExecute, pfnfcis, pfnfcigoi, typeCompress);
  });
}

FCI_API int FCIFlushFolder(HFCI hfci, PFNFCIGETNEXTCABINET, PFNFCISTATUS pfnfcis) {
  return runOperation(hfci, [&](Writer& w) {
    if (!prepareBuffers(w)) return 0;
    return flushFolder(w, pfnfcis) ? 1 : 0;
  });
}

FCI_API int FCIFlushCabinet(HFCI hfci, int fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc,
                            PFNFCISTATUS pfnfcis) {
  return runOperation(hfci, [&](Writer& w) {
    const std::uint64_t written = cabinetSize(w);
    if (!flushCabinet(w, pfnfcis)) return 0;
    if (fGetNextCab) {
      ++w.parameters.iCab;
      if (!pfnfcignc || !pfnfcignc(&w.parameters, static_cast<std::uint32_t>(written), w.context)) {
        w.fail(FCIERR_USER_ABORT);
        return 0;
      }
    }
    return 1;
  });
}

FCI_API int FCIDestroy(HFCI hfci) {
  Writer* writer = writerOf(hfci);
  if (!writer) return 0;
  dropTempFile(*writer);
  writer->release(writer->output);
  PFNFCIFREE release = writer->release;
  writer->magic = 0;
  writer->~Writer();
  release(writer);
  return 1;
}
