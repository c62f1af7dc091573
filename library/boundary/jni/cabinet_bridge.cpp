// JNI entry point of the cabinet builder.
#include "Kestrilo.h"
#include "library/boundary/exports.h"
#include "library/boundary/jni/jni_support.h"

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_makeCab(JNIEnv* env, jclass receiver,
                                                          jobjectArray files, jstring cabPath,
                                                          jstring cabName) {
  JniStringArray filesObject(env, files);
  JniString pathHandle(env, cabPath);
  JniString nameHandle(env, cabName);
  return Kestrilo_makeCab(receiver, filesObject.object(), pathHandle.handle(),
                          nameHandle.handle());
}
