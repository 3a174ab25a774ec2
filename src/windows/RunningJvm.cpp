#include "RunningJvm.h"

#include "RuntimeLibrary.h"

namespace {

// The created JVM. Only the launching thread writes these, once, after
// JNI_CreateJavaVM succeeded; the splash thread reads them.
JavaVM* javaVM = nullptr;
JNIEnv* jniEnv = nullptr;
volatile bool jvmCreated = false;

}  // namespace

bool createJvm(JavaVMInitArgs& init) {
  CreateJavaVmFunction create = createJavaVmEntry();
  if (create == nullptr || create(reinterpret_cast<void**>(&javaVM), reinterpret_cast<void**>(&jniEnv), &init) != JNI_OK) {
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
