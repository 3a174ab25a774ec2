// The application's splash controller as the recording environment answers
// it: com/tovex/runtime/TovexController.getAction "()I" and getText
// "()Ljava/lang/String;", played from the controller= steps of standin.cfg
// (README.md), and the string functions the splash screen reads a text with.
// Any other static int or object method answers 0 or null.
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "RecordingEnv.h"

namespace standin {
namespace {

std::mutex controllerLock;
std::size_t nextStep = 0;
jstring currentText = nullptr;  // what getText answers: the last action step's text

std::string fileBeside(const std::string& name) { return recordingConfig().directory() + name; }

// Plays the script up to the next action step: "wait NAME" holds it (0) until
// the file NAME exists beside the DLL; "N [TEXT]" answers N once.
jint nextAction() {
  std::lock_guard<std::mutex> guard(controllerLock);
  const std::vector<std::string> steps = recordingConfig().all("controller");
  while (nextStep < steps.size()) {
    const std::string& step = steps[nextStep];
    if (step.compare(0, 5, "wait ") == 0) {
      if (GetFileAttributesA(fileBeside(step.substr(5)).c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
      ++nextStep;
      continue;
    }
    ++nextStep;
    std::string::size_type blank = step.find(' ');
    currentText = blank == std::string::npos ? nullptr : makeString(step.substr(blank + 1));
    return static_cast<jint>(std::strtol(step.c_str(), nullptr, 0));
  }
  return 0;
}

bool isController(jclass cls) { return referenceText(cls) == "com/tovex/runtime/TovexController"; }

jint callStaticInt(jclass cls, jmethodID id) {
  jint result = isController(cls) && methodName(id) == "getAction" ? nextAction() : 0;
  recordCall("CallStaticIntMethod " + referenceText(cls) + " " + methodName(id) + " = " + std::to_string(result));
  return result;
}

jobject callStaticObject(jclass cls, jmethodID id) {
  jstring result = nullptr;
  if (isController(cls) && methodName(id) == "getText") {
    std::lock_guard<std::mutex> guard(controllerLock);
    result = currentText;
  }
  recordCall("CallStaticObjectMethod " + referenceText(cls) + " " + methodName(id) + " = " + referenceText(result));
  return result;
}

// The methods polled take no arguments, so the argument forms are not read.
jint JNICALL callStaticIntMethod(JNIEnv*, jclass cls, jmethodID id, ...) { return callStaticInt(cls, id); }
jint JNICALL callStaticIntMethodV(JNIEnv*, jclass cls, jmethodID id, va_list) { return callStaticInt(cls, id); }
jint JNICALL callStaticIntMethodA(JNIEnv*, jclass cls, jmethodID id, const jvalue*) {
  return callStaticInt(cls, id);
}
jobject JNICALL callStaticObjectMethod(JNIEnv*, jclass cls, jmethodID id, ...) { return callStaticObject(cls, id); }
jobject JNICALL callStaticObjectMethodV(JNIEnv*, jclass cls, jmethodID id, va_list) {
  return callStaticObject(cls, id);
}
jobject JNICALL callStaticObjectMethodA(JNIEnv*, jclass cls, jmethodID id, const jvalue*) {
  return callStaticObject(cls, id);
}

std::wstring utf16(const std::string& text) {
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

jsize JNICALL getStringLength(JNIEnv*, jstring string) {
  jsize length = static_cast<jsize>(utf16(stringText(string)).size());
  recordCall("GetStringLength " + referenceText(string) + " = " + std::to_string(length));
  return length;
}

// As a real VM may, hands out the characters without a terminator: a caller
// that reads past the length meets 'X's.
const jchar* JNICALL getStringChars(JNIEnv*, jstring string, jboolean* isCopy) {
  recordCall("GetStringChars " + referenceText(string));
  std::wstring wide = utf16(stringText(string));
  jchar* chars = new jchar[wide.size() + 16];
  for (std::size_t i = 0; i < wide.size() + 16; ++i) chars[i] = i < wide.size() ? wide[i] : L'X';
  if (isCopy != nullptr) *isCopy = JNI_TRUE;
  return chars;
}

void JNICALL releaseStringChars(JNIEnv*, jstring string, const jchar* chars) {
  recordCall("ReleaseStringChars " + referenceText(string));
  delete[] chars;
}

}  // namespace

void setControllerFunctions(JNINativeInterface_& table) {
  table.CallStaticIntMethod = callStaticIntMethod;
  table.CallStaticIntMethodV = callStaticIntMethodV;
  table.CallStaticIntMethodA = callStaticIntMethodA;
  table.CallStaticObjectMethod = callStaticObjectMethod;
  table.CallStaticObjectMethodV = callStaticObjectMethodV;
  table.CallStaticObjectMethodA = callStaticObjectMethodA;
  table.GetStringLength = getStringLength;
  table.GetStringChars = getStringChars;
  table.ReleaseStringChars = releaseStringChars;
}

}  // namespace standin
