#include "library/image/jpeg_destination.h"

#include <jerror.h>

#include <cstring>

namespace {

FileDestination* destinationOf(j_compress_ptr compressor) {
  return reinterpret_cast<FileDestination*>(compressor->dest);
}

void restartBlock(FileDestination* destination, JOCTET* block) {
  destination->buffer = block;
  destination->pub.next_output_byte = block;
  destination->pub.free_in_buffer = kOutputBlockSize;
}

void writeBlock(j_compress_ptr compressor, const JOCTET* block, std::size_t count) {
  auto size = static_cast<std::int32_t>(count);
  if (writeBytes(destinationOf(compressor)->file, block, size) != size) {
    ERREXIT(compressor, JERR_FILE_WRITE);
  }
}

// The full blocks kept back, in the order they were filled; the spill is empty afterwards.
void writeKeptBlocks(j_compress_ptr compressor) {
  FileDestination* destination = destinationOf(compressor);
  for (std::size_t i = 0; i < destination->keptBlocks; ++i) {
    writeBlock(compressor, destination->spill + i * kOutputBlockSize, kOutputBlockSize);
  }
  destination->keptBlocks = 0;
}

void startDestination(j_compress_ptr compressor) {
  FileDestination* destination = destinationOf(compressor);
  restartBlock(destination,
               static_cast<JOCTET*>((*compressor->mem->alloc_small)(
                   reinterpret_cast<j_common_ptr>(compressor), JPOOL_IMAGE, kOutputBlockSize)));
  destination->spill = nullptr;
  destination->spillBlocks = 0;
  destination->keptBlocks = 0;
  destination->deferring = false;
}

// The library calls this when the buffer is full, whatever free_in_buffer says: the whole block
// goes out, or into the spill while writing is put off.
boolean writeFullBlock(j_compress_ptr compressor) {
  FileDestination* destination = destinationOf(compressor);
  if (destination->deferring) {
    // Only a caller that gave more output than deferredRoom() allowed gets here.
    if (!destination->spill || destination->keptBlocks + 1 >= destination->spillBlocks) {
      ERREXIT(compressor, JERR_BUFFER_SIZE);
    }
    ++destination->keptBlocks;
    restartBlock(destination, destination->spill + destination->keptBlocks * kOutputBlockSize);
    return TRUE;
  }
  writeBlock(compressor, destination->buffer, kOutputBlockSize);
  restartBlock(destination, destination->buffer);
  return TRUE;
}

void writeLastBlock(j_compress_ptr compressor) {
  FileDestination* destination = destinationOf(compressor);
  destination->deferring = false;
  writeKeptBlocks(compressor);
  std::size_t count = kOutputBlockSize - destination->pub.free_in_buffer;
  if (count > 0) writeBlock(compressor, destination->buffer, count);
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
  destination->spill = nullptr;
  destination->spillBlocks = 0;
  destination->keptBlocks = 0;
  destination->deferring = false;
}

void reserveDeferredOutput(j_compress_ptr compressor, std::size_t bytes) {
  FileDestination* destination = destinationOf(compressor);
  // One block more for the block being filled when the room runs out.
  std::size_t blocks = (bytes + kOutputBlockSize - 1) / kOutputBlockSize + 1;
  auto* spill = static_cast<JOCTET*>((*compressor->mem->alloc_large)(
      reinterpret_cast<j_common_ptr>(compressor), JPOOL_IMAGE, blocks * kOutputBlockSize));
  // What the library has written so far (the headers) moves with the block being filled.
  std::size_t used = kOutputBlockSize - destination->pub.free_in_buffer;
  std::memcpy(spill, destination->buffer, used);
  destination->spill = spill;
  destination->spillBlocks = blocks;
  destination->buffer = spill;
  destination->pub.next_output_byte = spill + used;
}

void deferWrites(j_compress_ptr compressor) { destinationOf(compressor)->deferring = true; }

void flushDeferredOutput(j_compress_ptr compressor) {
  FileDestination* destination = destinationOf(compressor);
  destination->deferring = false;
  if (destination->keptBlocks == 0) return;
  writeKeptBlocks(compressor);
  // The block being filled goes back to the start of the spill.
  std::size_t used = kOutputBlockSize - destination->pub.free_in_buffer;
  std::memmove(destination->spill, destination->buffer, used);
  destination->buffer = destination->spill;
  destination->pub.next_output_byte = destination->spill + used;
}

std::size_t deferredRoom(j_compress_ptr compressor) {
  FileDestination* destination = destinationOf(compressor);
  std::size_t spare = destination->spill && destination->spillBlocks > destination->keptBlocks + 1
                          ? destination->spillBlocks - destination->keptBlocks - 1
                          : 0;
  return spare * kOutputBlockSize + destination->pub.free_in_buffer;
}
