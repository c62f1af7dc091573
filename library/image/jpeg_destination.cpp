#include "library/image/jpeg_destination.h"

#include <jerror.h>

namespace {

FileDestination* destinationOf(j_compress_ptr compressor) {
  return reinterpret_cast<FileDestination*>(compressor->dest);
}

void startDestination(j_compress_ptr compressor) {
  FileDestination* destination = destinationOf(compressor);
  destination->buffer = static_cast<JOCTET*>((*compressor->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(compressor), JPOOL_IMAGE, kOutputBlockSize));
  destination->pub.next_output_byte = destination->buffer;
  destination->pub.free_in_buffer = kOutputBlockSize;
}

// The library calls this when the buffer is full, whatever free_in_buffer says: the whole block
// goes out.
boolean writeFullBlock(j_compress_ptr compressor) {
  FileDestination* destination = destinationOf(compressor);
  constexpr auto kBlock = static_cast<std::int32_t>(kOutputBlockSize);
  if (writeBytes(destination->file, destination->buffer, kBlock) != kBlock) {
    ERREXIT(compressor, JERR_FILE_WRITE);
  }
  destination->pub.next_output_byte = destination->buffer;
  destination->pub.free_in_buffer = kOutputBlockSize;
  return TRUE;
}

void writeLastBlock(j_compress_ptr compressor) {
  FileDestination* destination = destinationOf(compressor);
  auto count = static_cast<std::int32_t>(kOutputBlockSize - destination->pub.free_in_buffer);
  if (count > 0 && writeBytes(destination->file, destination->buffer, count) != count) {
    ERREXIT(compressor, JERR_FILE_WRITE);
  }
}

}  // namespace

void installFileDestination(j_compress_ptr compressor, FileHandle file) {
  if (!compressor->dest) {
    compressor->dest = static_cast<jpeg_destination_mgr*>((*compressor->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(compressor), JPOOL_PERMANENT, sizeof(FileDestination)));
  }
  FileDestination* destination = destinationOf(compressor);
  destination->pub.init_destination = startDestination;
  destination->pub.empty_output_buffer = writeFullBlock;
  destination->pub.term_destination = writeLastBlock;
  destination->pub.next_output_byte = nullptr;
  destination->pub.free_in_buffer = 0;
  destination->file = file;
  destination->buffer = nullptr;
}
