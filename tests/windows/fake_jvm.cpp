// A stand-in for a Windows JDK's jvm.dll, for testing the launcher under Wine, where no real Java
// VM runs: it implements the invocation functions and the JNI functions that the launcher calls,
// and acts out the "class" Fennaquil.class in the current directory, a one-line script:
//
//   clean            main returns
//   throw <text>     main ends in an exception whose toString() is <text>
//   thread           main starts a thread that never ends, then returns
//   exit <n>         main calls System.exit(<n>): the process ends with <n> at once
//   refuse-create    JNI_CreateJavaVM fails (read when the VM is created)
//
// No Fennaquil.class: the class is missing (FindClass fails with NoClassDefFoundError pending).
// What the launcher did is appended, one line per event, to the file that the environment
// variable TAVOLIN_FAKE_JVM_LOG names:
//
//   create thread=<id> com=<yes|no> version=<hex> options=<option>|<option>...
//   find <class> cwd=<current directory>
//   main thread=<id> arguments=<n> stack=<reserved bytes>
//   attach thread=<id>          detach thread=<id>
//   destroy                     (which, as a real VM, waits for the program's threads)
//   halt <n>  or  exit <n>      (Runtime.halt or Runtime.exit: the process then ends with <n>)
//
// Any other JNI function ends the process with code 99 after logging "unexpected JNI call".
#define _JNI_IMPLEMENTATION_
#include <jni.h>
#include <objbase.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// ---------------------------------------------------------------------------------------------
// The log

void log(const std::string& line) {
  char file[MAX_PATH * 2];
  DWORD got = ::GetEnvironmentVariableA("TAVOLIN_FAKE_JVM_LOG", file, sizeof file);
  if (got == 0 || got >= sizeof file) return;
  HANDLE out = ::CreateFileA(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(out);
}

std::string threadId() { return std::to_string(::GetCurrentThreadId()); }

std::string currentDirectory() {
  char folder[MAX_PATH * 2];
  DWORD got = ::GetCurrentDirectoryA(sizeof folder, folder);
  return got == 0 || got >= sizeof folder ? std::string() : std::string(folder, got);
}

// The script, the first line of Fennaquil.class in the current directory; false without one.
bool readScript(std::string& script) {
  std::ifstream in("Fennaquil.class", std::ios::binary);
  if (!in) return false;
  std::getline(in, script);
  while (!script.empty() && (script.back() == '\r' || script.back() == '\n')) script.pop_back();
  return true;
}

[[noreturn]] void endWith(int status) {
  // As the VM's own end: nothing else of the process runs afterwards.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
  ::ExitProcess(static_cast<UINT>(status));
}

// ---------------------------------------------------------------------------------------------
// Objects, classes and methods

struct Object {
  enum Kind { kClass, kString, kThrowable, kArray, kRuntime } kind;
  std::string name;     // a class's name, a throwable's class
  std::u16string text;  // a string's characters, a throwable's toString()
  jsize length = 0;     // an array's
};

struct Method {
  const char* className;
  const char* name;
  const char* signature;
  bool isStatic;
};

const Method kMethods[] = {
    {"Fennaquil", "main", "([Ljava/lang/String;)V", true},
    {"java/lang/Runtime", "getRuntime", "()Ljava/lang/Runtime;", true},
    {"java/lang/Runtime", "halt", "(I)V", false},
    {"java/lang/Runtime", "exit", "(I)V", false},
    {"java/lang/Throwable", "toString", "()Ljava/lang/String;", false},
};

// Classes that exist besides Fennaquil.
const char* const kClasses[] = {"java/lang/String", "java/lang/Throwable", "java/lang/Runtime"};

jobject handle(Object* object) { return reinterpret_cast<jobject>(object); }
Object* object(jobject handle) { return reinterpret_cast<Object*>(handle); }

Object* pending = nullptr;  // the exception pending on the thread that made the last call

// Latin-1 text as UTF-16, through unsigned bytes (a signed char would make 0xE9 into 0xFFE9).
std::u16string wide(const std::string& text) {
  std::u16string result;
  for (unsigned char c : text) result += static_cast<char16_t>(c);
  return result;
}

void raise(const std::string& className, const std::string& message) {
  pending = new Object{Object::kThrowable, className, wide(className + ": " + message)};
}

// ---------------------------------------------------------------------------------------------
// The script's acts

bool threadRunning = false;  // a thread of the "program" that never ends

DWORD WINAPI neverEnds(void*) {
  ::Sleep(INFINITE);
  return 0;
}

std::size_t reservedStack() {
  using Limits = void(WINAPI*)(PULONG_PTR, PULONG_PTR);
  auto limits = reinterpret_cast<Limits>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetCurrentThreadStackLimits")));
  if (!limits) return 0;
  ULONG_PTR low = 0;
  ULONG_PTR high = 0;
  limits(&low, &high);
  return high - low;
}

void runMain(const Object* arguments) {
  std::string script;
  readScript(script);
  log("main thread=" + threadId() +
      " arguments=" + std::to_string(arguments ? arguments->length : -1) +
      " stack=" + std::to_string(reservedStack()));
  if (script.compare(0, 6, "throw ") == 0) {
    pending = new Object{Object::kThrowable, "java/lang/Throwable", wide(script.substr(6))};
  } else if (script == "thread") {
    HANDLE thread = ::CreateThread(nullptr, 0, neverEnds, nullptr, 0, nullptr);
    log(thread ? "thread started" : "thread not started");
    if (thread) ::CloseHandle(thread);
    threadRunning = thread != nullptr;
  } else if (script.compare(0, 5, "exit ") == 0) {
    int status = std::atoi(script.c_str() + 5);
    log("System.exit " + std::to_string(status));
    endWith(status);
  }
}

// ---------------------------------------------------------------------------------------------
// JNI functions

[[noreturn]] void JNICALL unexpected() {
  log("unexpected JNI call");
  endWith(99);
}

jclass JNICALL findClass(JNIEnv*, const char* name) {
  if (std::strcmp(name, "Fennaquil") == 0) {
    log("find Fennaquil cwd=" + currentDirectory());
    std::string script;
    if (!readScript(script)) {
      raise("java/lang/NoClassDefFoundError", name);
      return nullptr;
    }
  } else {
    bool known = false;
    for (const char* known_name : kClasses) known = known || std::strcmp(name, known_name) == 0;
    if (!known) {
      raise("java/lang/NoClassDefFoundError", name);
      return nullptr;
    }
  }
  return reinterpret_cast<jclass>(handle(new Object{Object::kClass, name, {}}));
}

jmethodID findMethod(jclass cls, const char* name, const char* signature, bool isStatic) {
  const std::string& className = object(cls)->name;
  for (const Method& method : kMethods) {
    if (className == method.className && std::strcmp(name, method.name) == 0 &&
        std::strcmp(signature, method.signature) == 0 && method.isStatic == isStatic) {
      return reinterpret_cast<jmethodID>(const_cast<Method*>(&method));
    }
  }
  raise("java/lang/NoSuchMethodError", name);
  return nullptr;
}

jmethodID JNICALL getStaticMethodId(JNIEnv*, jclass cls, const char* name, const char* signature) {
  return findMethod(cls, name, signature, true);
}

jmethodID JNICALL getMethodId(JNIEnv*, jclass cls, const char* name, const char* signature) {
  return findMethod(cls, name, signature, false);
}

jthrowable JNICALL exceptionOccurred(JNIEnv*) { return reinterpret_cast<jthrowable>(pending); }
void JNICALL exceptionClear(JNIEnv*) { pending = nullptr; }
jboolean JNICALL exceptionCheck(JNIEnv*) { return pending ? JNI_TRUE : JNI_FALSE; }

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass, jobject) {
  auto* array = new Object{Object::kArray, "[Ljava/lang/String;", {}};
  array->length = length;
  return reinterpret_cast<jobjectArray>(handle(array));
}

jsize JNICALL getArrayLength(JNIEnv*, jarray array) { return object(array)->length; }

void JNICALL callStaticVoidMethodV(JNIEnv*, jclass, jmethodID id, va_list arguments) {
  auto* method = reinterpret_cast<const Method*>(id);
  if (std::strcmp(method->name, "main") != 0) unexpected();
  runMain(object(va_arg(arguments, jobject)));
}

jobject JNICALL callStaticObjectMethodV(JNIEnv*, jclass, jmethodID id, va_list) {
  auto* method = reinterpret_cast<const Method*>(id);
  if (std::strcmp(method->name, "getRuntime") != 0) unexpected();
  return handle(new Object{Object::kRuntime, "java/lang/Runtime", {}});
}

jobject JNICALL callObjectMethodV(JNIEnv*, jobject target, jmethodID id, va_list) {
  auto* method = reinterpret_cast<const Method*>(id);
  if (std::strcmp(method->name, "toString") != 0) unexpected();
  return handle(new Object{Object::kString, "java/lang/String", object(target)->text});
}

jboolean JNICALL callBooleanMethodV(JNIEnv*, jobject, jmethodID, va_list) { return JNI_FALSE; }

void JNICALL callVoidMethodV(JNIEnv*, jobject, jmethodID id, va_list arguments) {
  auto* method = reinterpret_cast<const Method*>(id);
  int status = va_arg(arguments, jint);
  if (std::strcmp(method->name, "halt") != 0 && std::strcmp(method->name, "exit") != 0) {
    unexpected();
  }
  log(std::string(method->name) + " " + std::to_string(status));
  endWith(status);
}

jsize JNICALL getStringLength(JNIEnv*, jstring string) {
  return static_cast<jsize>(object(string)->text.size());
}

void JNICALL getStringRegion(JNIEnv*, jstring string, jsize start, jsize length, jchar* into) {
  std::memcpy(into, object(string)->text.data() + start, static_cast<std::size_t>(length) * 2);
}

// Local frames and field lookups are not offered: callers see a failure they must handle.
jint JNICALL pushLocalFrame(JNIEnv*, jint) {
  raise("java/lang/OutOfMemoryError", "no local frames here");
  return JNI_ERR;
}
jobject JNICALL popLocalFrame(JNIEnv*, jobject result) { return result; }
jfieldID JNICALL getStaticFieldId(JNIEnv*, jclass, const char* name, const char*) {
  raise("java/lang/NoSuchFieldError", name);
  return nullptr;
}
void JNICALL deleteLocalRef(JNIEnv*, jobject) {}
jboolean JNICALL isSameObject(JNIEnv*, jobject a, jobject b) { return a == b; }
jint JNICALL monitorEnter(JNIEnv*, jobject) { return JNI_OK; }
jint JNICALL monitorExit(JNIEnv*, jobject) { return JNI_OK; }

JNINativeInterface_ makeFunctions() {
  JNINativeInterface_ table;
  // Every slot is a function pointer; those not set below end the process.
  void** slots = reinterpret_cast<void**>(&table);
  for (std::size_t i = 0; i < sizeof table / sizeof(void*); ++i) {
    slots[i] = reinterpret_cast<void*>(&unexpected);
  }
  table.reserved0 = table.reserved1 = table.reserved2 = table.reserved3 = nullptr;
  table.FindClass = findClass;
  table.GetStaticMethodID = getStaticMethodId;
  table.GetMethodID = getMethodId;
  table.ExceptionOccurred = exceptionOccurred;
  table.ExceptionClear = exceptionClear;
  table.ExceptionCheck = exceptionCheck;
  table.NewObjectArray = newObjectArray;
  table.GetArrayLength = getArrayLength;
  table.CallStaticVoidMethodV = callStaticVoidMethodV;
  table.CallStaticObjectMethodV = callStaticObjectMethodV;
  table.CallObjectMethodV = callObjectMethodV;
  table.CallBooleanMethodV = callBooleanMethodV;
  table.CallVoidMethodV = callVoidMethodV;
  table.GetStringLength = getStringLength;
  table.GetStringRegion = getStringRegion;
  table.PushLocalFrame = pushLocalFrame;
  table.PopLocalFrame = popLocalFrame;
  table.GetStaticFieldID = getStaticFieldId;
  table.DeleteLocalRef = deleteLocalRef;
  table.IsSameObject = isSameObject;
  table.MonitorEnter = monitorEnter;
  table.MonitorExit = monitorExit;
  return table;
}

const JNINativeInterface_ functions = makeFunctions();
JNIEnv_ environment{&functions};

// ---------------------------------------------------------------------------------------------
// The invocation interface

// As a real VM does, waits for every thread of the program to end.
jint JNICALL destroyJavaVm(JavaVM*) {
  log("destroy");
  if (threadRunning) ::Sleep(INFINITE);
  return JNI_OK;
}

jint JNICALL attachCurrentThread(JavaVM*, void** env, void*) {
  log("attach thread=" + threadId());
  *env = &environment;
  return JNI_OK;
}

jint JNICALL detachCurrentThread(JavaVM*) {
  log("detach thread=" + threadId());
  return JNI_OK;
}

jint JNICALL getEnv(JavaVM*, void** env, jint) {
  *env = &environment;
  return JNI_OK;
}

const JNIInvokeInterface_ invokeFunctions = {
    nullptr,
    nullptr,
    nullptr,
    destroyJavaVm,
    attachCurrentThread,
    detachCurrentThread,
    getEnv,
    attachCurrentThread,
};
JavaVM_ vm{&invokeFunctions};

// Whether the calling thread has initialised COM as a single-threaded apartment, which
// CoInitialize does: initialising it again then reports S_FALSE. The probe's own
// initialisation is undone.
bool comInitialised() {
  HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(result)) ::CoUninitialize();
  return result == S_FALSE;
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* arguments) {
  // This VM knows the interface up to version 21.
  auto* initArgs = static_cast<JavaVMInitArgs*>(arguments);
  return initArgs->version <= 0x00150000 ? JNI_OK : JNI_EVERSION;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** created, void** env, void* arguments) {
  auto* initArgs = static_cast<JavaVMInitArgs*>(arguments);
  char version[16];
  std::snprintf(version, sizeof version, "%x", static_cast<unsigned>(initArgs->version));
  std::string line = "create thread=" + threadId() + " com=" + (comInitialised() ? "yes" : "no") +
                     " version=" + version + " options=";
  for (jint i = 0; i < initArgs->nOptions; ++i) {
    line += (i ? "|" : "") + std::string(initArgs->options[i].optionString);
  }
  log(line);
  std::string script;
  if (readScript(script) && script == "refuse-create") return JNI_ERR;
  *created = &vm;
  *env = &environment;
  return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize capacity, jsize* count) {
  *count = 0;
  if (capacity > 0) {
    vms[0] = &vm;
    *count = 1;
  }
  return JNI_OK;
}

}  // extern "C"
