// JNI entry point of the cabinet builder.
#include "Kestrilo.h"
#include "library/boundary/jni/jni_support.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_makeCab(JNIEnv* env, jclass receiver,
                                                        jobjectArray files, jstring cabPath,
                                                        jstring cabName) {
  // The string array's handles live in containers that may fail to grow: under the guard too.
  return guardExport(kMakeCabFailure, [&] {
    JniStringArray filesObject(env, files);
    JniString pathHandle(env, cabPath);
    JniString nameHandle(env, cabName);
    return Kestrilo_makeCab(receiver, filesObject.object(), pathHandle.handle(),
                            nameHandle.handle());
  });
}
