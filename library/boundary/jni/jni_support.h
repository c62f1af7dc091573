// What the JNI bridge turns the JVM's arguments into: string handles over jstrings, and array
// objects copied from Java arrays (the JVM's own layout is not ours to read in place).
#pragma once

#include <jni.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "library/boundary/java_array.h"
#include "library/boundary/java_string.h"

// A jstring seen as a string handle. Valid for the span of the native call.
struct JniString : JavaString {
  JniString(JNIEnv* env, jstring string);
  JNIEnv* env;
  jstring string;

  // The handle to pass on; null for a null Java string.
  StringHandle handle() const { return string ? this : nullptr; }
};

// An array object holding a copy of a Java int[]. `object()` is null for a null Java array or
// when the copy could not be allocated.
class JniIntArray {
 public:
  JniIntArray(JNIEnv* env, jintArray array);
  const ArrayObject* object() const { return reinterpret_cast<const ArrayObject*>(block_.get()); }

 private:
  struct Free {
    void operator()(std::uint8_t* block) const;
  };
  std::unique_ptr<std::uint8_t, Free> block_;
};

// An array object whose elements are string handles over the elements of a Java String[].
class JniStringArray {
 public:
  JniStringArray(JNIEnv* env, jobjectArray array);
  // Null for a null Java array.
  const ArrayObject* object() const {
    return isNull_ ? nullptr : reinterpret_cast<const ArrayObject*>(block_.data());
  }

 private:
  bool isNull_;
  std::vector<JniString> strings_;
  std::vector<std::uint8_t> block_;
};
