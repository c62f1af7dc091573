// The JPEG compressor's output destination: a 4096-byte buffer that is written to an open file
// through the file helpers each time it fills, and once more, partly filled, when the
// compression finishes. The file therefore receives whole 4096-byte writes and one final shorter
// one.
//
// Writing can be put off for a stretch of compression (while the rows come from memory that the
// Java VM holds in place, when nothing may touch a file): the full blocks are then kept, in
// order, in a spill area reserved beforehand, and written by flushDeferredOutput afterwards, still
// as whole 4096-byte writes. The bytes and the writes that reach the file are the same either way.
//
// A write that does not take the whole count (a failed write shows "Cannot write file" first)
// raises the library's file-write error ("Output file write error --- out of disk space?"),
// which goes to the compressor's error_exit: the caller's error manager must not return from it.
#pragma once

#include <cstddef>
#include <cstdio>

// jpeglib.h uses size_t and FILE without declaring them.
#include <jpeglib.h>

#include "library/support/file_helpers.h"

constexpr std::size_t kOutputBlockSize = 4096;

// The destination record: the library's public fields first, as the library requires.
struct FileDestination {
  jpeg_destination_mgr pub;
  FileHandle file;
  JOCTET* buffer;  // the block being filled, kOutputBlockSize bytes; image lifetime
  JOCTET* spill;   // spillBlocks blocks, or null before reserveDeferredOutput
  std::size_t spillBlocks;
  std::size_t keptBlocks;  // full blocks at the start of the spill, not yet written
  bool deferring;
};

// Installs a FileDestination on `file` for a created compressor. The record comes from the
// compressor's memory manager with permanent lifetime (so a second call reuses it); the buffer
// is taken when compression starts. The file stays the caller's to close.
void installFileDestination(j_compress_ptr compressor, FileHandle file);

// After jpeg_start_compress: reserves room for at least `bytes` of output whose writing is put
// off (the library's memory manager, image lifetime; its fatal error when there is no memory).
void reserveDeferredOutput(j_compress_ptr compressor, std::size_t bytes);

// Between the two calls no file is written: full blocks stay in the spill. The compressor must
// not be given more output than deferredRoom() says fits (the library's "Buffer passed to JPEG
// library is too small" error otherwise).
void deferWrites(j_compress_ptr compressor);
// Writes the blocks kept back, each as one 4096-byte write, and writes at once again from here.
void flushDeferredOutput(j_compress_ptr compressor);

// How many more bytes of output fit while writing is put off.
std::size_t deferredRoom(j_compress_ptr compressor);
