// A JavaVM and JNIEnv that record what the launcher asks of them, in
// jvm_calls.log beside the stand-in jvm.dll, one line per call. Classes,
// methods, strings and arrays are small objects of the stand-in; a function
// of the JNI tables that is not implemented records "unexpected JNIEnv
// function N" (its slot in the table) and ends the process with exit code 97,
// so a test sees at once what the stand-in still lacks.
#pragma once

#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include <string>

#include "StandinConfig.h"

namespace standin {

// Sets *vm and *env to the recording VM and its environment.
void startRecordingVm(const Config& config, JavaVM** vm, JNIEnv** env);

// The VM that startRecordingVm made, or null.
JavaVM* createdVm();

const int kUnexpectedCallExit = 97;

// Shared with the controller's functions (RecordingController.cpp).
void recordCall(const std::string& line);
const Config& recordingConfig();
std::string referenceText(const void* reference);  // as the log shows it
std::string methodName(jmethodID id);
jstring makeString(const std::string& text);  // text in UTF-8
const std::string& stringText(jstring string);
// Sets the functions through which the splash screen polls its controller.
void setControllerFunctions(JNINativeInterface_& table);

}  // namespace standin
