#include "RecordingEnv.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace standin {
namespace {

// Every reference the environment hands out points at one of these.
struct Object {
  enum Kind { kClass, kMethod, kString, kArray, kThrowable } kind;
  std::string text;               // class name, method name, string text
  std::string signature;          // methods only
  const Object* owner = nullptr;  // a method's class, an array's element class
  std::vector<Object*> elements;  // arrays only
};

const Config* config = nullptr;
std::deque<Object> objects;
std::mutex objectsLock;  // the main thread and an attached thread both make objects
thread_local Object* pending = nullptr;  // the pending exception, per thread as in a real VM
JNINativeInterface_ envTable;
JNIInvokeInterface_ vmTable;
JNIEnv env{&envTable};
JavaVM vm{&vmTable};
bool started = false;

void record(const std::string& line) { config->record("jvm_calls.log", line); }

Object* make(Object::Kind kind, std::string text) {
  std::lock_guard<std::mutex> guard(objectsLock);
  objects.push_back(Object{kind, std::move(text), "", nullptr, {}});
  return &objects.back();
}

Object* from(const void* reference) { return static_cast<Object*>(const_cast<void*>(reference)); }

// A reference as the log shows it: a class by name, a string in quotes, an
// array as its elements in brackets.
std::string describe(const void* reference) {
  const Object* object = from(reference);
  if (object == nullptr) return "null";
  switch (object->kind) {
    case Object::kString: return "\"" + object->text + "\"";
    case Object::kArray: {
      std::string text = "[";
      for (std::size_t i = 0; i < object->elements.size(); ++i) {
        text += (i ? ", " : "") + describe(object->elements[i]);
      }
      return text + "]";
    }
    default: return object->text;
  }
}

bool listed(const char* key, const std::string& value) {
  for (const std::string& entry : config->all(key)) {
    if (entry == value) return true;
  }
  return false;
}

void throwNew(const char* className, const std::string& message) {
  pending = make(Object::kThrowable, std::string(className) + ": " + message);
}

// What Throwable.toString() gives: the class name with dots, then the message.
std::string throwableText(const Object* throwable) {
  std::string text = throwable->text;
  std::size_t end = text.find(": ");
  for (std::size_t i = 0; i < text.size() && i < end; ++i) {
    if (text[i] == '/') text[i] = '.';
  }
  return text;
}

// main_exception: the exception main throws ("java.lang.IllegalStateException: boom");
// main_exception_stack (may repeat): its stack trace's elements, first to last.
void throwFromMain() {
  pending = make(Object::kThrowable, config->text("main_exception", ""));
  for (const std::string& line : config->all("main_exception_stack")) {
    pending->elements.push_back(make(Object::kString, line));
  }
}

// ---- Functions not implemented: record the slot and end the process.

template <std::size_t Slot>
void JNICALL unexpected() {
  record("unexpected JNIEnv function " + std::to_string(Slot));
  ExitProcess(kUnexpectedCallExit);
}

template <std::size_t... Slots>
void fillUnexpected(void** table, std::index_sequence<Slots...>) {
  ((table[Slots] = reinterpret_cast<void*>(&unexpected<Slots>)), ...);
}

// ---- The environment.

jint JNICALL getVersion(JNIEnv*) { return JNI_VERSION_1_8; }

jclass JNICALL findClass(JNIEnv*, const char* name) {
  record(std::string("FindClass ") + name);
  if (listed("missing_class", name)) {
    throwNew("java/lang/NoClassDefFoundError", name);
    return nullptr;
  }
  return static_cast<jclass>(static_cast<void*>(make(Object::kClass, name)));
}

jmethodID JNICALL getStaticMethodID(JNIEnv*, jclass cls, const char* name, const char* sig) {
  record("GetStaticMethodID " + describe(cls) + " " + name + " " + sig);
  if (listed("missing_method", name)) {
    throwNew("java/lang/NoSuchMethodError", name);
    return nullptr;
  }
  Object* method = make(Object::kMethod, name);
  method->signature = sig;
  method->owner = from(cls);
  return reinterpret_cast<jmethodID>(method);
}

// Reads the arguments that a method signature names, from whichever form the
// caller used (variadic, va_list or jvalue array), into one log text.
template <typename Next>
std::string describeArguments(const std::string& signature, Next next) {
  std::string text;
  for (std::size_t i = 1; i < signature.size() && signature[i] != ')'; ++i) {
    char type = signature[i];
    std::size_t start = i;
    while (signature[i] == '[') ++i;
    if (signature[i] == 'L') i = signature.find(';', i);
    if (!text.empty()) text += " ";
    if (signature[start] == '[' || type == 'L') {
      text += describe(next('L').l);
    } else if (type == 'J') {
      text += std::to_string(next('J').j);
    } else if (type == 'F' || type == 'D') {
      text += std::to_string(next('D').d);
    } else {
      text += std::to_string(next('I').i);
    }
  }
  return text;
}

// ---- The application: what a starter's main does while it runs.

LRESULT CALLBACK applicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND openApplicationWindow() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = applicationWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"StandinApplicationWindow";
  RegisterClassW(&windowClass);
  std::string title = config->text("window_title", "Stand-in application");
  HWND window = CreateWindowA("StandinApplicationWindow", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                              320, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  record("application window shown " + title);
  return window;
}

// Handles the thread's messages until the time is up, or until the window
// closes when there is no time limit (limit < 0).
void pumpMessagesUntil(DWORD start, int limit) {
  for (;;) {
    DWORD waited = GetTickCount() - start;
    if (limit >= 0 && waited >= static_cast<DWORD>(limit)) return;
    DWORD timeout = limit >= 0 ? static_cast<DWORD>(limit) - waited : INFINITE;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

// main_stdout: lines main prints with System.out, which writes to the
// process's standard output handle as it is (none for a GUI program started
// without one).
void printApplicationOutput() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  for (const std::string& line : config->all("main_stdout")) {
    std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

// main_sleep_ms: main runs that long. window_after_ms: main opens a visible
// window after that long and keeps it until main returns (until the window
// is closed when main_sleep_ms is not set).
void runApplication() {
  DWORD start = GetTickCount();
  int runFor = config->number("main_sleep_ms", -1);
  if (config->has("window_after_ms")) {
    Sleep(static_cast<DWORD>(config->number("window_after_ms", 0)));
    HWND window = openApplicationWindow();
    pumpMessagesUntil(start, runFor);
    if (IsWindow(window)) DestroyWindow(window);
  } else if (runFor > 0) {
    Sleep(static_cast<DWORD>(runFor));
  }
  printApplicationOutput();
  // main_exit_code: System.exit(N) from main ends the process there.
  if (config->has("main_exit_code")) {
    record("System.exit " + std::to_string(config->number("main_exit_code", 0)));
    ExitProcess(static_cast<UINT>(config->number("main_exit_code", 0)));
  }
}

// A static method call: recorded, then main runs the application, and a
// method named in throw_in leaves a pending exception.
void callStatic(const char* kind, jclass cls, jmethodID id, const std::string& arguments) {
  const Object* method = from(id);
  record(std::string(kind) + " " + describe(cls) + " " + method->text + " " + arguments);
  if (method->text == "main") runApplication();
  if (listed("throw_in", method->text)) throwNew("java/lang/RuntimeException", method->text);
  if (method->text == "main" && config->has("main_exception")) throwFromMain();
}

jvalue nextFromList(va_list& list, char type) {
  jvalue value{};
  if (type == 'L') value.l = va_arg(list, jobject);
  else if (type == 'J') value.j = va_arg(list, jlong);
  else if (type == 'D') value.d = va_arg(list, jdouble);
  else value.i = va_arg(list, jint);
  return value;
}

std::string describeList(jmethodID id, va_list list) {
  va_list copy;
  va_copy(copy, list);
  std::string text = describeArguments(from(id)->signature, [&](char type) { return nextFromList(copy, type); });
  va_end(copy);
  return text;
}

std::string describeArray(jmethodID id, const jvalue* values) {
  return describeArguments(from(id)->signature, [&](char) { return *values++; });
}

void JNICALL callStaticVoidMethodV(JNIEnv*, jclass cls, jmethodID id, va_list list) {
  callStatic("CallStaticVoidMethod", cls, id, describeList(id, list));
}

void JNICALL callStaticVoidMethod(JNIEnv* e, jclass cls, jmethodID id, ...) {
  va_list list;
  va_start(list, id);
  callStaticVoidMethodV(e, cls, id, list);
  va_end(list);
}

void JNICALL callStaticVoidMethodA(JNIEnv*, jclass cls, jmethodID id, const jvalue* values) {
  callStatic("CallStaticVoidMethod", cls, id, describeArray(id, values));
}

// A boolean method answers true unless it is named in false_from.
jboolean booleanResult(jmethodID id) { return listed("false_from", from(id)->text) ? JNI_FALSE : JNI_TRUE; }

jboolean JNICALL callStaticBooleanMethodV(JNIEnv*, jclass cls, jmethodID id, va_list list) {
  callStatic("CallStaticBooleanMethod", cls, id, describeList(id, list));
  return booleanResult(id);
}

jboolean JNICALL callStaticBooleanMethod(JNIEnv* e, jclass cls, jmethodID id, ...) {
  va_list list;
  va_start(list, id);
  jboolean result = callStaticBooleanMethodV(e, cls, id, list);
  va_end(list);
  return result;
}

jboolean JNICALL callStaticBooleanMethodA(JNIEnv*, jclass cls, jmethodID id, const jvalue* values) {
  callStatic("CallStaticBooleanMethod", cls, id, describeArray(id, values));
  return booleanResult(id);
}

jstring JNICALL newStringUTF(JNIEnv*, const char* text) {
  record(std::string("NewStringUTF \"") + text + "\"");
  return static_cast<jstring>(static_cast<void*>(make(Object::kString, text)));
}

// A Java string as the log shows it: printable ASCII as it is (with \" and
// \\), every other UTF-16 code unit as \uXXXX, so the record is exact.
std::string escapeUtf16(const jchar* text, jsize length) {
  std::string escaped;
  for (jsize i = 0; i < length; ++i) {
    jchar unit = text[i];
    if (unit == '"' || unit == '\\') {
      escaped += '\\';
      escaped += static_cast<char>(unit);
    } else if (unit >= 0x20 && unit < 0x7f) {
      escaped += static_cast<char>(unit);
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(unit));
      escaped += code;
    }
  }
  return escaped;
}

jstring JNICALL newString(JNIEnv*, const jchar* text, jsize length) {
  std::string escaped = escapeUtf16(text, length);
  record("NewString \"" + escaped + "\"");
  return static_cast<jstring>(static_cast<void*>(make(Object::kString, escaped)));
}

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass cls, jobject initial) {
  record("NewObjectArray " + std::to_string(length) + " " + describe(cls));
  Object* array = make(Object::kArray, "");
  array->owner = from(cls);
  array->elements.assign(length, from(initial));
  return static_cast<jobjectArray>(static_cast<void*>(array));
}

void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
  Object* object = from(array);
  if (index < 0 || static_cast<std::size_t>(index) >= object->elements.size()) {
    throwNew("java/lang/ArrayIndexOutOfBoundsException", std::to_string(index));
    return;
  }
  object->elements[index] = from(value);
}

jsize JNICALL getArrayLength(JNIEnv*, jarray array) { return static_cast<jsize>(from(array)->elements.size()); }

jobject JNICALL getObjectArrayElement(JNIEnv*, jobjectArray array, jsize index) {
  Object* object = from(array);
  if (index < 0 || static_cast<std::size_t>(index) >= object->elements.size()) {
    throwNew("java/lang/ArrayIndexOutOfBoundsException", std::to_string(index));
    return nullptr;
  }
  return static_cast<jobject>(static_cast<void*>(object->elements[index]));
}

// ---- Instance methods: the class of an object, and the two methods a launcher
// reads a throwable with (toString, getStackTrace).

jclass JNICALL getObjectClass(JNIEnv*, jobject object) {
  const Object* of = from(object);
  std::string name = of->kind == Object::kThrowable ? "java/lang/Throwable" : "java/lang/Object";
  record("GetObjectClass " + name);
  return static_cast<jclass>(static_cast<void*>(make(Object::kClass, name)));
}

jmethodID JNICALL getMethodID(JNIEnv*, jclass cls, const char* name, const char* sig) {
  record("GetMethodID " + describe(cls) + " " + name + " " + sig);
  Object* method = make(Object::kMethod, name);
  method->signature = sig;
  method->owner = from(cls);
  return reinterpret_cast<jmethodID>(method);
}

jobject callObject(jobject object, jmethodID id) {
  const Object* target = from(object);
  const std::string& name = from(id)->text;
  record("CallObjectMethod " + name);
  if (name == "toString") {
    std::string text = target->kind == Object::kThrowable ? throwableText(target) : target->text;
    return static_cast<jobject>(static_cast<void*>(make(Object::kString, text)));
  }
  if (name == "getStackTrace" && target->kind == Object::kThrowable) {
    Object* array = make(Object::kArray, "");
    array->elements = target->elements;
    return static_cast<jobject>(static_cast<void*>(array));
  }
  throwNew("java/lang/NoSuchMethodError", name);
  return nullptr;
}

jobject JNICALL callObjectMethod(JNIEnv*, jobject object, jmethodID id, ...) { return callObject(object, id); }
jobject JNICALL callObjectMethodV(JNIEnv*, jobject object, jmethodID id, va_list) { return callObject(object, id); }
jobject JNICALL callObjectMethodA(JNIEnv*, jobject object, jmethodID id, const jvalue*) {
  return callObject(object, id);
}

const char* JNICALL getStringUTFChars(JNIEnv*, jstring string, jboolean* isCopy) {
  if (isCopy != nullptr) *isCopy = JNI_FALSE;
  return from(string)->text.c_str();
}
void JNICALL releaseStringUTFChars(JNIEnv*, jstring, const char*) {}

jthrowable JNICALL exceptionOccurred(JNIEnv*) {
  record("ExceptionOccurred " + (pending ? pending->text : std::string("null")));
  return static_cast<jthrowable>(static_cast<void*>(pending));
}
jboolean JNICALL exceptionCheck(JNIEnv*) { return pending ? JNI_TRUE : JNI_FALSE; }

void JNICALL exceptionDescribe(JNIEnv*) {
  if (pending) record("ExceptionDescribe " + pending->text);
  pending = nullptr;  // as the real one does, it clears the exception
}

void JNICALL exceptionClear(JNIEnv*) {
  record("ExceptionClear");
  pending = nullptr;
}

void JNICALL deleteLocalRef(JNIEnv*, jobject) {}
jobject JNICALL newGlobalRef(JNIEnv*, jobject object) { return object; }
void JNICALL deleteGlobalRef(JNIEnv*, jobject) {}

// ---- The VM.

jint JNICALL destroyJavaVM(JavaVM*) {
  record("DestroyJavaVM");
  return JNI_OK;
}

jint JNICALL attachCurrentThread(JavaVM*, void** penv, void*) {
  record("AttachCurrentThread");
  *penv = &env;
  return JNI_OK;
}

jint JNICALL attachCurrentThreadAsDaemon(JavaVM*, void** penv, void*) {
  record("AttachCurrentThreadAsDaemon");
  *penv = &env;
  return JNI_OK;
}

jint JNICALL detachCurrentThread(JavaVM*) {
  record("DetachCurrentThread");
  return JNI_OK;
}

jint JNICALL getEnv(JavaVM*, void** penv, jint) {
  *penv = &env;
  return JNI_OK;
}

void fillTables() {
  constexpr std::size_t envSlots = sizeof(JNINativeInterface_) / sizeof(void*);
  fillUnexpected(reinterpret_cast<void**>(&envTable), std::make_index_sequence<envSlots>());
  envTable.GetVersion = getVersion;
  envTable.FindClass = findClass;
  envTable.GetStaticMethodID = getStaticMethodID;
  envTable.CallStaticVoidMethod = callStaticVoidMethod;
  envTable.CallStaticVoidMethodV = callStaticVoidMethodV;
  envTable.CallStaticVoidMethodA = callStaticVoidMethodA;
  envTable.CallStaticBooleanMethod = callStaticBooleanMethod;
  envTable.CallStaticBooleanMethodV = callStaticBooleanMethodV;
  envTable.CallStaticBooleanMethodA = callStaticBooleanMethodA;
  envTable.NewString = newString;
  envTable.NewStringUTF = newStringUTF;
  envTable.NewObjectArray = newObjectArray;
  envTable.SetObjectArrayElement = setObjectArrayElement;
  envTable.GetArrayLength = getArrayLength;
  envTable.GetObjectArrayElement = getObjectArrayElement;
  envTable.GetObjectClass = getObjectClass;
  envTable.GetMethodID = getMethodID;
  envTable.CallObjectMethod = callObjectMethod;
  envTable.CallObjectMethodV = callObjectMethodV;
  envTable.CallObjectMethodA = callObjectMethodA;
  envTable.GetStringUTFChars = getStringUTFChars;
  envTable.ReleaseStringUTFChars = releaseStringUTFChars;
  envTable.ExceptionOccurred = exceptionOccurred;
  envTable.ExceptionCheck = exceptionCheck;
  envTable.ExceptionDescribe = exceptionDescribe;
  envTable.ExceptionClear = exceptionClear;
  envTable.DeleteLocalRef = deleteLocalRef;
  envTable.NewGlobalRef = newGlobalRef;
  envTable.DeleteGlobalRef = deleteGlobalRef;

  setControllerFunctions(envTable);

  vmTable = JNIInvokeInterface_{};
  vmTable.DestroyJavaVM = destroyJavaVM;
  vmTable.AttachCurrentThread = attachCurrentThread;
  vmTable.DetachCurrentThread = detachCurrentThread;
  vmTable.GetEnv = getEnv;
  vmTable.AttachCurrentThreadAsDaemon = attachCurrentThreadAsDaemon;
}

}  // namespace

// ---- For the controller's functions (RecordingController.cpp).

void recordCall(const std::string& line) { record(line); }

const Config& recordingConfig() { return *config; }

std::string referenceText(const void* reference) { return describe(reference); }

std::string methodName(jmethodID id) { return from(id)->text; }

jstring makeString(const std::string& text) {
  return static_cast<jstring>(static_cast<void*>(make(Object::kString, text)));
}

const std::string& stringText(jstring string) { return from(string)->text; }

void startRecordingVm(const Config& settings, JavaVM** pvm, JNIEnv** penv) {
  config = &settings;
  fillTables();
  started = true;
  *pvm = &vm;
  *penv = &env;
}

JavaVM* createdVm() { return started ? &vm : nullptr; }

}  // namespace standin
