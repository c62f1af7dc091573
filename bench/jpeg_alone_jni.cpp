// libjpeg-turbo alone, called from Java by the JPEG timing program (bench/JpegBridgeTiming.java),
// so that the export and the library are timed in the same VM, the same run and interleaved
// rounds. Compresses a Java array with the export's parameters, reading the pixels in place (the
// array pinned for the call): from the packed ints themselves or from three-byte blue-green-red
// rows made once beforehand (a byte[] the caller fills), into a reused block of memory; or from
// the packed ints into a file through the library's own stdio destination (4096-byte writes).
#include <jni.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "library/image/jpeg_writer.h"

namespace {

// The JPEG's size, into `file` or, when it is null, into a block of memory kept for the next call.
jlong compressRows(const std::uint8_t* rows, std::size_t rowBytes, J_COLOR_SPACE space,
                   int components, jint width, jint height, std::FILE* file = nullptr) {
  static std::vector<unsigned char> block(16 << 20);
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  setCompressionParameters(&compressor, width, height);
  compressor.in_color_space = space;
  compressor.input_components = components;
  unsigned char* buffer = block.data();
  unsigned long size = block.size();
  if (file) {
    jpeg_stdio_dest(&compressor, file);
  } else {
    jpeg_mem_dest(&compressor, &buffer, &size);
  }
  jpeg_start_compress(&compressor, TRUE);
  while (compressor.next_scanline < compressor.image_height) {
    auto row = const_cast<JSAMPROW>(rows + compressor.next_scanline * rowBytes);
    jpeg_write_scanlines(&compressor, &row, 1);
  }
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  if (file) return std::ftell(file);
  if (buffer != block.data()) std::free(buffer);  // grown by the library: not expected
  return static_cast<jlong>(size);
}

}  // namespace

extern "C" JNIEXPORT jlong JNICALL Java_JpegBridgeTiming_libraryFromPackedInts(JNIEnv* env, jclass,
                                                                               jintArray pixels,
                                                                               jint width,
                                                                               jint height) {
  void* elements = env->GetPrimitiveArrayCritical(pixels, nullptr);
  jlong size =
      compressRows(static_cast<const std::uint8_t*>(elements), static_cast<std::size_t>(width) * 4,
                   kPackedColourSpace, 4, width, height);
  env->ReleasePrimitiveArrayCritical(pixels, elements, JNI_ABORT);
  return size;
}

extern "C" JNIEXPORT jlong JNICALL Java_JpegBridgeTiming_libraryFromBgr(JNIEnv* env, jclass,
                                                                        jbyteArray bgr, jint width,
                                                                        jint height) {
  void* elements = env->GetPrimitiveArrayCritical(bgr, nullptr);
  jlong size = compressRows(static_cast<const std::uint8_t*>(elements),
                            static_cast<std::size_t>(width) * 3, JCS_EXT_BGR, 3, width, height);
  env->ReleasePrimitiveArrayCritical(bgr, elements, JNI_ABORT);
  return size;
}

extern "C" JNIEXPORT jlong JNICALL Java_JpegBridgeTiming_libraryToFile(JNIEnv* env, jclass,
                                                                       jintArray pixels, jint width,
                                                                       jint height, jstring name) {
  const char* path = env->GetStringUTFChars(name, nullptr);
  std::FILE* file = std::fopen(path, "wb");
  env->ReleaseStringUTFChars(name, path);
  if (!file) return -1;
  void* elements = env->GetPrimitiveArrayCritical(pixels, nullptr);
  jlong size =
      compressRows(static_cast<const std::uint8_t*>(elements), static_cast<std::size_t>(width) * 4,
                   kPackedColourSpace, 4, width, height, file);
  env->ReleasePrimitiveArrayCritical(pixels, elements, JNI_ABORT);
  std::fclose(file);
  return size;
}
