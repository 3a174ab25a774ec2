// Stand-in for a Windows runtime's jvm.dll. It exports the invocation API
// under the undecorated names a real jvm.dll has (JNI functions are __stdcall
// on 32-bit Windows; the link drops the @N decoration). Every call is
// recorded in jvm_calls.log beside the DLL; JNI_CreateJavaVM hands out a
// recording VM and JNI environment (RecordingEnv.h) unless the settings beside
// the DLL give another create_result.
//
// Built twice: jvm.dll, and jvm_noexport.dll without JNI_CreateJavaVM (a DLL
// that is no usable runtime) when STANDIN_NO_CREATE is defined; and
// jvm_needs_dep.dll, which imports jvmdep.dll as a modern jvm.dll imports the
// libraries of its runtime's bin folder, when STANDIN_NEEDS_DEPENDENCY is defined.
#include <windows.h>

#include <cstdio>
#include <string>

#include "RecordingEnv.h"
#include "StandinConfig.h"

#ifdef STANDIN_NEEDS_DEPENDENCY
extern "C" __declspec(dllimport) int standinDependency();
#endif

namespace {

const standin::Config& settings() {
  static const standin::Config config(reinterpret_cast<const void*>(&settings));
  return config;
}

std::string hex(jint value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(value));
  return text;
}

#ifndef STANDIN_NO_CREATE
// Milliseconds since the system created this process.
long long processAgeMs() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  GetSystemTimeAsFileTime(&now);
  auto ticks = [](const FILETIME& time) {
    return (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return (ticks(now) - ticks(created)) / 10000;
}
#endif

bool supportedVersion(jint version) {
  switch (version) {
    case JNI_VERSION_1_1: case JNI_VERSION_1_2: case JNI_VERSION_1_4:
    case JNI_VERSION_1_6: case JNI_VERSION_1_8: return true;
    default: return false;
  }
}

}  // namespace

extern "C" {

#ifndef STANDIN_NO_CREATE
JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args) {
  // Taken first, so that reading the settings and recording the call are not
  // counted in a start's time.
  const long long age = processAgeMs();
  const standin::Config& config = settings();
  const JavaVMInitArgs* init = static_cast<const JavaVMInitArgs*>(args);
  if (init == nullptr) {
    config.record("jvm_calls.log", "JNI_CreateJavaVM args=null");
    return JNI_ERR;
  }
#ifdef STANDIN_NEEDS_DEPENDENCY
  config.record("jvm_calls.log", "standinDependency " + std::to_string(standinDependency()));
#endif
  // The call and its options in one write: the lines of one call stay
  // together, and a start pays for one write whatever its options.
  std::string call = "JNI_CreateJavaVM version=" + hex(init->version) + " nOptions=" +
                     std::to_string(init->nOptions) + " ignoreUnrecognized=" + std::to_string(init->ignoreUnrecognized);
  for (jint i = 0; i < init->nOptions; ++i) {
    const JavaVMOption& option = init->options[i];
    // Hooks such as "exit" and "vfprintf" carry a function in extraInfo.
    call += std::string("\r\n") + (option.extraInfo ? "option_with_info=" : "option=") +
            (option.optionString ? option.optionString : "(null)");
  }
  // For timing a start: the process ends here, as soon as the VM is asked
  // for, and records how long after its creation that was.
  if (config.has("create_exit_code")) {
    config.record("jvm_calls.log", call + "\r\nJNI_CreateJavaVM reached after " + std::to_string(age) + " ms");
    ExitProcess(static_cast<UINT>(config.number("create_exit_code", 0)));
  }
  config.record("jvm_calls.log", call);
  // Where the VM is created: its user.dir.
  if (config.has("record_directory")) {
    char directory[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
    if (length >= sizeof directory) length = 0;
    config.record("jvm_calls.log", "current directory " + std::string(directory, length));
  }
  jint result = config.number("create_result", JNI_OK);
  if (result == JNI_OK) {
    if (pvm == nullptr || penv == nullptr) return JNI_ERR;
    standin::startRecordingVm(config, pvm, reinterpret_cast<JNIEnv**>(penv));
  }
  return result;
}
#endif

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
  jint version = args ? *static_cast<const jint*>(args) : 0;
  settings().record("jvm_calls.log", "JNI_GetDefaultJavaVMInitArgs version=" + hex(version));
  return supportedVersion(version) ? JNI_OK : JNI_ERR;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** buffer, jsize length, jsize* count) {
  settings().record("jvm_calls.log", "JNI_GetCreatedJavaVMs length=" + std::to_string(length));
  JavaVM* vm = standin::createdVm();
  if (count) *count = vm ? 1 : 0;
  if (vm && buffer && length > 0) buffer[0] = vm;
  return JNI_OK;
}

}  // extern "C"
