// JNI entry point of the audio conversion.
#include "Kestrilo.h"
#include "library/boundary/jni/jni_support.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_wav2au(JNIEnv* env, jclass receiver,
                                                       jstring wavFile, jstring auFile) {
  return guardExport(kWav2AuFailure, [&] {
    JniString wavHandle(env, wavFile);
    JniString auHandle(env, auFile);
    return Kestrilo_wav2au(receiver, wavHandle.handle(), auHandle.handle());
  });
}
