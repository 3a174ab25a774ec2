// The JVM created in this process: its creation, its end, and the threads
// (the splash screen's) that call into it besides the launching one.
#pragma once
#include "RuntimeLibrary.h"
#include "jni.h"

// Creates the JVM through the loaded runtime's entry point; false when the
// runtime refuses the options. Call once, from the launching thread.
bool createJvm(const LoadedRuntime& runtime, JavaVMInitArgs& init);

// The launching thread's environment; nullptr before createJvm succeeded.
JNIEnv* launchingThreadEnv();

// Waits for the application's other non-daemon threads and ends the JVM.
void destroyJvm();

// The running JVM's environment for the calling thread (the splash screen's),
// attached as a daemon thread; nullptr before the JVM exists or when
// attaching fails.
JNIEnv* attachJvmThread();
// Detaches the calling thread; nothing before the JVM exists.
void detachJvmThread();
