// JNI entry point of the GIF transparency service.
#include "Kestrilo.h"
#include "library/boundary/jni/jni_support.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_makeTransparent(JNIEnv* env, jclass receiver,
                                                                jstring gifFile) {
  return guardExport(kMakeTransparentFailure, [&] {
    JniString fileHandle(env, gifFile);
    return Kestrilo_makeTransparent(receiver, fileHandle.handle());
  });
}
