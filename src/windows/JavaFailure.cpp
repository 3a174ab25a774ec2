// Reading a throwable for the user's message.
#include "JavaFailure.h"

#include <windows.h>

#include "CommandLine.h"
#include "ErrorCodes.h"

namespace {

// A Java string in the ANSI code page; the pending exception of a failed call
// is cleared, so that the next call may run.
std::string ansiText(JNIEnv* env, jobject string) {
  if (string == nullptr) return std::string();
  const char* utf8 = env->GetStringUTFChars(static_cast<jstring>(string), nullptr);
  if (utf8 == nullptr) {
    env->ExceptionClear();
    return std::string();
  }
  std::wstring wide = wideFromNarrow(utf8, CP_UTF8);
  env->ReleaseStringUTFChars(static_cast<jstring>(string), utf8);
  return narrowFromWide(wide.c_str(), CP_ACP);
}

// Calls an object method without arguments that returns an object; null when
// it throws.
jobject callObjectMethod(JNIEnv* env, jobject object, const char* name, const char* signature) {
  jclass type = env->GetObjectClass(object);
  jmethodID method = type != nullptr ? env->GetMethodID(type, name, signature) : nullptr;
  jobject result = method != nullptr ? env->CallObjectMethod(object, method) : nullptr;
  if (env->ExceptionCheck()) {
    env->ExceptionClear();
    return nullptr;
  }
  return result;
}

std::string objectText(JNIEnv* env, jobject object) {
  return ansiText(env, callObjectMethod(env, object, "toString", "()Ljava/lang/String;"));
}

std::string stackLines(JNIEnv* env, jthrowable thrown) {
  jobject trace = callObjectMethod(env, thrown, "getStackTrace", "()[Ljava/lang/StackTraceElement;");
  if (trace == nullptr) return std::string();
  jobjectArray elements = static_cast<jobjectArray>(trace);
  jsize count = env->GetArrayLength(elements);
  std::string lines;
  for (jsize i = 0; i < count && i < kFailureStackLines; ++i) {
    jobject element = env->GetObjectArrayElement(elements, i);
    if (element == nullptr) break;
    if (!lines.empty()) lines += "\r\n";
    lines += kStackLinePrefix + objectText(env, element);
  }
  if (count > kFailureStackLines) lines += kMoreStackLines;
  return lines;
}

}  // namespace

JavaFailure describeThrowable(JNIEnv* env, jthrowable thrown) {
  JavaFailure failure;
  if (env == nullptr || thrown == nullptr) return failure;
  failure.summary = objectText(env, thrown);
  failure.details = stackLines(env, thrown);
  return failure;
}
