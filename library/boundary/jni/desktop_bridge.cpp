// JNI entry points of the desktop services and the interface version.
#include "Kestrilo.h"
#include "library/boundary/exports.h"
#include "library/boundary/jni/jni_support.h"

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_copyToClipboard(JNIEnv* env, jclass receiver,
                                                                jstring text) {
  JniString textHandle(env, text);
  return Kestrilo_copyToClipboard(receiver, textHandle.handle());
}

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_showFile(JNIEnv* env, jclass receiver,
                                                         jstring directory, jstring file) {
  JniString directoryHandle(env, directory);
  JniString fileHandle(env, file);
  return Kestrilo_showFile(receiver, directoryHandle.handle(), fileHandle.handle());
}
