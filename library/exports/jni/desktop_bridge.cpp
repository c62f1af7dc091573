// JNI entry points of the desktop services.
#include "Kestrilo.h"
#include "library/boundary/jni/jni_support.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_copyToClipboard(JNIEnv* env, jclass receiver,
                                                                jstring text) {
  return guardExport(kClipboardFailure, [&] {
    JniString textHandle(env, text);
    return Kestrilo_copyToClipboard(receiver, textHandle.handle());
  });
}

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_showFile(JNIEnv* env, jclass receiver,
                                                         jstring directory, jstring file) {
  return guardExport(kShowFileFailure, [&] {
    JniString directoryHandle(env, directory);
    JniString fileHandle(env, file);
    return Kestrilo_showFile(receiver, directoryHandle.handle(), fileHandle.handle());
  });
}
