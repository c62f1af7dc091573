// JNI entry point of the GIF transparency service.
#include "Kestrilo.h"
#include "library/boundary/exports.h"
#include "library/boundary/jni/jni_support.h"

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_makeTransparent(JNIEnv* env, jclass receiver,
                                                                jstring gifFile) {
  JniString fileHandle(env, gifFile);
  return Kestrilo_makeTransparent(receiver, fileHandle.handle());
}
