// The JPEG compressor's output destination: a 4096-byte buffer that is written to an open file
// through the file helpers each time it fills, and once more, partly filled, when the
// compression finishes. The file therefore receives whole 4096-byte writes and one final shorter
// one.
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
  JOCTET* buffer;  // kOutputBlockSize bytes; image lifetime
};

// Installs a FileDestination on `file` for a created compressor. The record comes from the
// compressor's memory manager with permanent lifetime (so a second call reuses it); the buffer
// is taken when compression starts. The file stays the caller's to close.
void installFileDestination(j_compress_ptr compressor, FileHandle file);
