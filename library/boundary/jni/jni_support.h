// What the JNI bridge turns the JVM's arguments into: string handles over jstrings, an int[]
// read a range at a time, and array objects of string handles over a String[] (the JVM's own
// layout is not ours to read in place).
#pragma once

#include <jni.h>

#include <cstdint>
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

// A Java int[], read a range of elements at a time, or held in place for a stretch of work
// that makes no call into the VM. Never copied whole. Valid for the span of the native call.
class JniIntArray {
 public:
  JniIntArray(JNIEnv* env, jintArray array);
  ~JniIntArray() { release(); }
  JniIntArray(const JniIntArray&) = delete;
  JniIntArray& operator=(const JniIntArray&) = delete;

  // The element count; 0 for a null Java array.
  std::int32_t length() const { return length_; }
  // Copies elements [start, start + count) into `out`; the range must lie within the array.
  void read(std::int32_t start, std::int32_t count, std::int32_t* out) const;

  // The elements where they lie, the garbage collector held back until release(): from here to
  // the release, the thread must make no call into the VM at all (reading this array or a
  // string included). Null when the VM will not hold the array (it may then still be read).
  const std::int32_t* hold();
  void release();

 private:
  JNIEnv* env_;
  jintArray array_;
  std::int32_t length_;
  void* held_ = nullptr;
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
