// The JPEG export's work, shared by the C export Kestrilo_saveJPEG (an array object with its
// elements inline) and the JNI entry (a Java int[] held in place a band of rows at a time, or
// read a row at a time; never copied whole).
#pragma once

#include <cstdint>

#include "library/boundary/java_string.h"
#include "library/image/jpeg_writer.h"

// Writes width × height packed colours from `rows` as a JPEG file named by `jpegFile`.
// `elementCount` is how many colours the source holds; when it is fewer than width × height
// (or that product does not fit in 32 bits) nothing is read or written, since the rows would run
// past its end. Nothing is written either for a name longer than 255 characters, or when the
// source cannot read its rows ("Sorry, not enough memory" has been shown). Always 1.
std::int32_t saveJpegFromRows(StringHandle jpegFile, std::int32_t elementCount, PixelRows& rows,
                              std::int32_t width, std::int32_t height);
