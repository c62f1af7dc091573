// The test library behind BoundaryProbe.java: the bridge's string handles and the library's
// conversion and file loading, reached from a real JVM.
#include <jni.h>

#include <cstring>
#include <vector>

#include "library/boundary/file_name.h"
#include "library/boundary/jni/jni_support.h"
#include "library/support/file_helpers.h"

extern "C" JNIEXPORT jint JNICALL Java_BoundaryProbe_length(JNIEnv* env, jclass, jstring text) {
  JniString handle(env, text);
  return javaStringLength(handle.handle());
}

extern "C" JNIEXPORT jbyteArray JNICALL Java_BoundaryProbe_convert(JNIEnv* env, jclass,
                                                                   jstring text, jint size) {
  JniString handle(env, text);
  std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\x7F');
  javaString2CString(handle.handle(), buffer.data(), size);
  jsize length = static_cast<jsize>(std::strlen(buffer.data()));
  jbyteArray bytes = env->NewByteArray(length);
  env->SetByteArrayRegion(bytes, 0, length, reinterpret_cast<const jbyte*>(buffer.data()));
  return bytes;
}

extern "C" JNIEXPORT jint JNICALL Java_BoundaryProbe_load(JNIEnv* env, jclass, jstring name) {
  JniString handle(env, name);
  FileName buffer;
  if (!convertFileName(handle.handle(), buffer)) return -2;
  std::int32_t size = 0;
  std::uint8_t* block = loadWholeFile(buffer, size);
  if (!block) return -1;
  freeWholeFile(block);
  return size;
}
