// What went wrong inside Java, in words a message can show: the throwable's
// own text and the first lines of its stack trace.
#pragma once
#include <jni.h>

#include <string>

struct JavaFailure {
  std::string summary;  // Throwable.toString(): the class and the message
  std::string details;  // "at ..." lines, one per stack element, CR LF between
};

// How many stack elements the details keep.
constexpr int kFailureStackLines = 5;

// Reads a throwable through JNI; call it with no exception pending. What
// cannot be read is left empty. Texts are in the ANSI code page.
JavaFailure describeThrowable(JNIEnv* env, jthrowable thrown);
