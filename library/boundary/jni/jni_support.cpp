#include "library/boundary/jni/jni_support.h"

#include <cstring>

namespace {

std::int32_t jniLength(StringHandle handle) {
  const auto* string = static_cast<const JniString*>(handle);
  return string->string ? string->env->GetStringLength(string->string) : 0;
}

void jniUnits(StringHandle handle, std::int32_t start, std::int32_t count, std::uint16_t* units) {
  const auto* string = static_cast<const JniString*>(handle);
  static_assert(sizeof(jchar) == sizeof(std::uint16_t));
  string->env->GetStringRegion(string->string, start, count, reinterpret_cast<jchar*>(units));
}

const JavaStringOps kJniStringOps{jniLength, jniUnits};

void writeHeader(std::uint8_t* block, std::int32_t count) {
  const ArrayObject header{0, count};
  std::memcpy(block, &header, sizeof header);
}

}  // namespace

JniString::JniString(JNIEnv* environment, jstring javaString)
    : JavaString{&kJniStringOps}, env(environment), string(javaString) {}

JniIntArray::JniIntArray(JNIEnv* env, jintArray array)
    : env_(env), array_(array), length_(array ? env->GetArrayLength(array) : 0) {}

void JniIntArray::read(std::int32_t start, std::int32_t count, std::int32_t* out) const {
  static_assert(sizeof(jint) == sizeof(std::int32_t));
  env_->GetIntArrayRegion(array_, start, count, reinterpret_cast<jint*>(out));
}

const std::int32_t* JniIntArray::hold() {
  if (!held_ && array_) held_ = env_->GetPrimitiveArrayCritical(array_, nullptr);
  return static_cast<const std::int32_t*>(held_);
}

void JniIntArray::release() {
  // Only read: nothing is copied back.
  if (held_) env_->ReleasePrimitiveArrayCritical(array_, held_, JNI_ABORT);
  held_ = nullptr;
}

JniStringArray::JniStringArray(JNIEnv* env, jobjectArray array) : isNull_(array == nullptr) {
  if (isNull_) return;
  jsize count = env->GetArrayLength(array);
  // Each element is held by a local reference for the span of the call.
  env->EnsureLocalCapacity(count);
  strings_.reserve(static_cast<std::size_t>(count));
  for (jsize i = 0; i < count; ++i) {
    strings_.emplace_back(env, static_cast<jstring>(env->GetObjectArrayElement(array, i)));
  }
  block_.resize(arrayObjectSize(static_cast<std::size_t>(count), sizeof(StringHandle)));
  writeHeader(block_.data(), count);
  for (jsize i = 0; i < count; ++i) {
    StringHandle handle = strings_[static_cast<std::size_t>(i)].handle();
    std::memcpy(block_.data() + 8 + static_cast<std::size_t>(i) * sizeof handle, &handle,
                sizeof handle);
  }
}
