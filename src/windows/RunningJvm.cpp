#include "RunningJvm.h"

#include <atomic>

namespace {

// The created JVM, process-wide because the splash thread, started before
// the JVM exists, attaches to it later. Only the launching thread writes the
// pointers, once, before it publishes them through jvmCreated.
JavaVM* javaVM = nullptr;
JNIEnv* jniEnv = nullptr;
std::atomic<bool> jvmCreated{false};

}  // namespace

bool createJvm(const LoadedRuntime& runtime, JavaVMInitArgs& init) {
  if (runtime.createJavaVm == nullptr ||
      runtime.createJavaVm(reinterpret_cast<void**>(&javaVM), reinterpret_cast<void**>(&jniEnv), &init) != JNI_OK) {
    return false;
  }
  jvmCreated = true;
  return true;
}

JNIEnv* launchingThreadEnv() { return jvmCreated ? jniEnv : nullptr; }

void destroyJvm() {
  if (jvmCreated) javaVM->DestroyJavaVM();
}

JNIEnv* attachJvmThread() {
  if (!jvmCreated) return nullptr;
  void* env = nullptr;
  // As a daemon thread: DestroyJavaVM waits for every other thread, and a
  // splash screen the application never hides would keep it waiting forever.
  if (javaVM->AttachCurrentThreadAsDaemon(&env, nullptr) != JNI_OK) return nullptr;
  return static_cast<JNIEnv*>(env);
}

void detachJvmThread() {
  if (jvmCreated) javaVM->DetachCurrentThread();
}
