#include "launcher/jni_vm_layer.h"

#include <jni.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace launcher {
namespace {

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);
using DefaultInitArgs = jint(JNICALL*)(void*);

// JDK 24 and later warn when a class loads a native library unless native access is enabled;
// they are the ones that know this interface version. Earlier JDKs are not given the option:
// JDK 17 would turn off its class-data sharing of the module graph for it, slowing every start.
constexpr jint kJniVersion24 = 0x00180000;

bool warnsOnNativeAccess(DefaultInitArgs defaults) {
  if (!defaults) return false;
  JavaVMInitArgs probe{};
  probe.version = kJniVersion24;
  return defaults(&probe) == JNI_OK;
}

// A class name as FindClass wants it: modified UTF-8 with '/' between package names.
std::string jniClassName(const char16_t* name) {
  std::string result;
  for (; *name; ++name) {
    unsigned unit = *name;
    if (unit == '.') {
      result += '/';
    } else if (unit < 0x80) {
      result += static_cast<char>(unit);
    } else if (unit < 0x800) {
      result += static_cast<char>(0xC0 | (unit >> 6));
      result += static_cast<char>(0x80 | (unit & 0x3F));
    } else {  // surrogates are encoded one by one, as modified UTF-8 does
      result += static_cast<char>(0xE0 | (unit >> 12));
      result += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return result;
}

// The error a run ended in, its description taken while the thread was still attached.
class ThrownError final : public VmError {
 public:
  ThrownError(bool known, std::u16string text) : known_(known), text_(std::move(text)) {}
  bool description(std::u16string& text) override {
    if (known_) text = text_;
    return known_;
  }

 private:
  bool known_;
  std::u16string text_;
};

// The exception's toString(); false when that cannot be had.
bool describe(JNIEnv* env, jthrowable thrown, std::u16string& text) {
  jclass throwable = env->FindClass("java/lang/Throwable");
  jmethodID toString =
      throwable ? env->GetMethodID(throwable, "toString", "()Ljava/lang/String;") : nullptr;
  auto described =
      toString ? static_cast<jstring>(env->CallObjectMethod(thrown, toString)) : nullptr;
  if (env->ExceptionCheck() || !described) {
    env->ExceptionClear();
    return false;
  }
  jsize length = env->GetStringLength(described);
  text.resize(static_cast<std::size_t>(length));
  static_assert(sizeof(jchar) == sizeof(char16_t));
  env->GetStringRegion(described, 0, length, reinterpret_cast<jchar*>(text.data()));
  return true;
}

class JniExecutor final : public ClassExecutor {
 public:
  explicit JniExecutor(JavaVM* vm) : vm_(vm) {}

  VmStatus execute(const ExecutionRecord& record, std::unique_ptr<VmError>& error) override {
    if (!record.className) return kVmFailed;
    JNIEnv* env = nullptr;
    // Named as the java command names the thread that runs main.
    JavaVMAttachArgs attach{JNI_VERSION_1_8, const_cast<char*>("main"), nullptr};
    if (vm_->AttachCurrentThread(reinterpret_cast<void**>(&env), &attach) != JNI_OK) {
      return kVmFailed;
    }
    VmStatus status = run(env, jniClassName(record.className), error);
    vm_->DetachCurrentThread();
    return status;
  }

 private:
  static VmStatus run(JNIEnv* env, const std::string& className, std::unique_ptr<VmError>& error) {
    // Without Java frames on this thread, FindClass asks the application class loader, which
    // looks in the class path ".", the launcher's folder.
    jclass mainClass = env->FindClass(className.c_str());
    jmethodID main =
        mainClass ? env->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V") : nullptr;
    jclass stringClass = main ? env->FindClass("java/lang/String") : nullptr;
    // The class gets no arguments.
    jobjectArray arguments = stringClass ? env->NewObjectArray(0, stringClass, nullptr) : nullptr;
    if (!arguments) {
      env->ExceptionClear();
      return kVmFailed;
    }
    env->CallStaticVoidMethod(mainClass, main, arguments);
    if (jthrowable thrown = env->ExceptionOccurred()) {
      env->ExceptionClear();
      std::u16string text;
      bool known = describe(env, thrown, text);
      error = std::make_unique<ThrownError>(known, std::move(text));
    }
    return kVmOk;
  }

  JavaVM* vm_;
};

class JniFactory final : public VmFactory {
 public:
  JniFactory(JniVmLayer& layer, CreateJavaVm create, bool enableNativeAccess)
      : layer_(layer), create_(create), enableNativeAccess_(enableNativeAccess) {}

  std::unique_ptr<ClassExecutor> createVm() override {
    std::string libraryPath = "-Djava.library.path=" + layer_.libraryFolder();
    std::vector<JavaVMOption> options(enableNativeAccess_ ? 3 : 2);
    options[0].optionString = const_cast<char*>("-Djava.class.path=.");
    options[1].optionString = libraryPath.data();
    if (enableNativeAccess_) {
      options[2].optionString = const_cast<char*>("--enable-native-access=ALL-UNNAMED");
    }
    JavaVMInitArgs arguments{};
    arguments.version = JNI_VERSION_1_8;
    arguments.nOptions = static_cast<jint>(options.size());
    arguments.options = options.data();
    arguments.ignoreUnrecognized = JNI_FALSE;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create_(&vm, reinterpret_cast<void**>(&env), &arguments) != JNI_OK || !vm) return nullptr;
    layer_.created(vm);
    return std::make_unique<JniExecutor>(vm);
  }

 private:
  JniVmLayer& layer_;
  CreateJavaVm create_;
  bool enableNativeAccess_;
};

}  // namespace

// What the platform asks of the thread that hosts a VM (COM on Windows), started on the main
// thread before the VM is created.
bool JniVmLayer::initialise() { return platform::startVmHostServices(); }

std::unique_ptr<VmFactory> JniVmLayer::obtainVm() {
  std::vector<std::string> looked;
  platform::ModuleHandle jvm = platform::loadJavaVmModule("JNI_CreateJavaVM", looked);
  auto create = reinterpret_cast<CreateJavaVm>(platform::findSymbol(jvm, "JNI_CreateJavaVM"));
  if (!create) {
    platform::freeModule(jvm);
    whereLooked_ = std::string("Looked for a Java VM (") + platform::javaVmLibraryName() +
                   " with JNI_CreateJavaVM) in:";
    for (const std::string& place : looked) whereLooked_ += "\n  " + place;
    whereLooked_ += "\nInstall a Java runtime of version 11 or later, or set JAVA_HOME to one.";
    return nullptr;
  }
  // libjvm stays loaded for the life of the process.
  auto defaults =
      reinterpret_cast<DefaultInitArgs>(platform::findSymbol(jvm, "JNI_GetDefaultJavaVMInitArgs"));
  return std::make_unique<JniFactory>(*this, create, warnsOnNativeAccess(defaults));
}

void JniVmLayer::terminate() { platform::endVmHostServices(); }

namespace {

// How long the end waits at most for the program's running threads to settle.
constexpr auto kSettleTime = std::chrono::milliseconds(500);
constexpr auto kSettlePoll = std::chrono::milliseconds(1);

// Looks at the program's threads, as often as asked, without stopping the VM: the threads are
// listed through their thread groups from the root group down (ThreadGroup.enumerate; every
// platform thread is in one of them), and each one's state and daemon flag are read from it.
// Thread.getAllStackTraces, or anything else that takes a thread dump, would stop every thread of
// the VM at a safepoint for each look.
class ThreadSurvey {
 public:
  explicit ThreadSurvey(JNIEnv* env) : env_(env) {
    jclass thread = env->FindClass("java/lang/Thread");
    jclass group = env->FindClass("java/lang/ThreadGroup");
    jclass state = env->FindClass("java/lang/Thread$State");
    if (!thread || !group || !state) {
      env->ExceptionClear();
      return;
    }
    thread_ = static_cast<jclass>(env->NewGlobalRef(thread));
    current_ = env->GetStaticMethodID(thread, "currentThread", "()Ljava/lang/Thread;");
    threadGroup_ = env->GetMethodID(thread, "getThreadGroup", "()Ljava/lang/ThreadGroup;");
    isDaemon_ = env->GetMethodID(thread, "isDaemon", "()Z");
    getState_ = env->GetMethodID(thread, "getState", "()Ljava/lang/Thread$State;");
    parent_ = env->GetMethodID(group, "getParent", "()Ljava/lang/ThreadGroup;");
    activeCount_ = env->GetMethodID(group, "activeCount", "()I");
    enumerate_ = env->GetMethodID(group, "enumerate", "([Ljava/lang/Thread;Z)I");
    jfieldID runnable = env->GetStaticFieldID(state, "RUNNABLE", "Ljava/lang/Thread$State;");
    if (runnable) runnable_ = env->NewGlobalRef(env->GetStaticObjectField(state, runnable));
    ready_ = !env->ExceptionCheck() && thread_ && current_ && threadGroup_ && isDaemon_ &&
             getState_ && parent_ && activeCount_ && enumerate_ && runnable_;
    env->ExceptionClear();
  }
  ~ThreadSurvey() {
    if (thread_) env_->DeleteGlobalRef(thread_);
    if (runnable_) env_->DeleteGlobalRef(runnable_);
  }
  ThreadSurvey(const ThreadSurvey&) = delete;
  ThreadSurvey& operator=(const ThreadSurvey&) = delete;

  // Whether a thread of the program other than the calling one is running Java code or native
  // code right now (state RUNNABLE) and would hold the process under the java command (not a
  // daemon). False too when the threads cannot be examined.
  bool programThreadRuns() {
    if (!ready_ || env_->PushLocalFrame(16) != JNI_OK) {
      env_->ExceptionClear();
      return false;
    }
    bool runs = false;
    jobject self = env_->CallStaticObjectMethod(thread_, current_);
    jobjectArray threads = listThreads(self);
    jsize count = threads ? env_->GetArrayLength(threads) : 0;
    for (jsize i = 0; i < count && !runs && !env_->ExceptionCheck(); ++i) {
      jobject other = env_->GetObjectArrayElement(threads, i);
      if (other && !env_->IsSameObject(other, self) && !env_->CallBooleanMethod(other, isDaemon_)) {
        jobject now = env_->CallObjectMethod(other, getState_);
        runs = now && env_->IsSameObject(now, runnable_);
        env_->DeleteLocalRef(now);
      }
      env_->DeleteLocalRef(other);
    }
    if (env_->ExceptionCheck()) {
      env_->ExceptionClear();
      runs = false;
    }
    env_->PopLocalFrame(nullptr);
    return runs;
  }

 private:
  // Every live thread in the calling thread's root group; unused places at the end are null.
  jobjectArray listThreads(jobject self) {
    jobject group = self ? env_->CallObjectMethod(self, threadGroup_) : nullptr;
    while (group && !env_->ExceptionCheck()) {
      jobject parent = env_->CallObjectMethod(group, parent_);
      if (!parent) break;
      env_->DeleteLocalRef(group);
      group = parent;
    }
    if (!group || env_->ExceptionCheck()) return nullptr;
    // activeCount is an estimate: room for a few more, and a larger array while it fills up.
    for (jint room = env_->CallIntMethod(group, activeCount_) + 8; !env_->ExceptionCheck();
         room *= 2) {
      auto threads = static_cast<jobjectArray>(env_->NewObjectArray(room, thread_, nullptr));
      if (!threads) return nullptr;
      jint found = env_->CallIntMethod(group, enumerate_, threads, JNI_TRUE);
      if (found < room) return threads;
      env_->DeleteLocalRef(threads);
    }
    return nullptr;
  }

  JNIEnv* env_;
  bool ready_ = false;
  jclass thread_ = nullptr;
  jobject runnable_ = nullptr;
  jmethodID current_ = nullptr;
  jmethodID threadGroup_ = nullptr;
  jmethodID isDaemon_ = nullptr;
  jmethodID getState_ = nullptr;
  jmethodID parent_ = nullptr;
  jmethodID activeCount_ = nullptr;
  jmethodID enumerate_ = nullptr;
};

// Gives threads of the program that still run a moment to get where they wait, at most
// kSettleTime. A thread that main started just before it returned may be on its way into
// System.exit without being there yet; under the java command it would get there, because the
// VM waits for every non-daemon thread. Waiting for them all is not possible here (a window's
// event thread never ends), but a thread on its way into an exit does not wait on anything: once
// none is running, every exit the program is making has begun, holds the VM's exit lock, and so
// decides (see exitLikeSystemExit). Threads that wait for events, sleep or block cost nothing; one
// that computes without pause, or blocks in native code, delays the end by kSettleTime at most.
void letRunningThreadsSettle(JNIEnv* env) {
  auto deadline = std::chrono::steady_clock::now() + kSettleTime;
  ThreadSurvey survey(env);
  while (survey.programThreadRuns() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kSettlePoll);
  }
}

// Ends the VM and the process as System.exit(status) on a Java thread would; returns only when
// that could not be done.
//
// The launcher's end must not race an exit that the Java program has already begun on one of its
// own threads: that exit decides the exit code, and its shutdown hooks run to their end, as
// under the java command. Runtime.halt would end the process at once, hooks or not, and so win
// such a race at random. Runtime.exit joins it instead: the VM lets only one exit run at a time,
// the first runs the shutdown hooks and halts with its status, and any later one waits for ever.
// One hole is left: JDK 17's exit with a non-zero status halts at once if another exit has already
// run all its hooks. So the lock that the VM serialises exits with, the monitor of the class
// java.lang.Shutdown (JDK 8 to 25), is taken first: while another exit runs, that waits until the
// other exit ends the process; once it is held, no other exit is running and any later one waits
// for ours. Where that class is not to be had, Runtime.exit alone still never cuts another exit's
// hooks short, and a status of 0 never overrides another status.
//
// The program's shutdown hooks run at a normal end too, as under the java command.
void exitLikeSystemExit(JNIEnv* env, int status) {
  if (jclass shutdown = env->FindClass("java/lang/Shutdown")) {
    // Held until the process ends; exit re-enters it on this same thread.
    if (env->MonitorEnter(shutdown) != JNI_OK) env->ExceptionClear();
  } else {
    env->ExceptionClear();
  }
  jclass runtime = env->FindClass("java/lang/Runtime");
  jmethodID getRuntime =
      runtime ? env->GetStaticMethodID(runtime, "getRuntime", "()Ljava/lang/Runtime;") : nullptr;
  jobject instance = getRuntime ? env->CallStaticObjectMethod(runtime, getRuntime) : nullptr;
  jmethodID exit = instance ? env->GetMethodID(runtime, "exit", "(I)V") : nullptr;
  if (exit) env->CallVoidMethod(instance, exit, static_cast<jint>(status));
  // Only when exit was refused (a security manager) or could not be found: halt, the VM's end
  // without hooks, and failing that the process's own end.
  env->ExceptionClear();
  jmethodID halt = instance ? env->GetMethodID(runtime, "halt", "(I)V") : nullptr;
  if (halt) env->CallVoidMethod(instance, halt, static_cast<jint>(status));
  env->ExceptionClear();
}

}  // namespace

void JniVmLayer::endProcess(int status) {
  JNIEnv* env = nullptr;
  if (vm_ && vm_->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) == JNI_OK) {
    letRunningThreadsSettle(env);
    exitLikeSystemExit(env, status);
  }
  platform::endProcess(status);
}

}  // namespace launcher
