#include "JavaLaunch.h"
#include "JavaLaunchInternal.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string_view>
#include <utility>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "IncludedFiles.h"
#include "JvmOptions.h"
#include "Log.h"
#include "Paths.h"
#include "ProcessEnvironment.h"
#include "RunningJvm.h"
#include "SingleInstance.h"
#include "TempFiles.h"
#include "VariableSubstitution.h"

namespace {

constexpr const char* kStarterClass = "com/tovex/runtime/WinLauncher";
// The starter as a message names it.
constexpr const char* kStarterClassName = "com.tovex.runtime.WinLauncher";
constexpr const char* kFirstRunClass = "com/vandrel/runtime/FirstRun";
constexpr const char* kMainSignature = "([Ljava/lang/String;)V";

// ---- What the JVM is given ----

// "-D<name>=<value>", or "-D<name>=true" for a flag (value nullptr), appended
// to the list; a property too long for a text buffer is left out, not cut.
void addSystemProperty(NarrowArgumentList& list, const char* name, const char* value) {
  std::string property(kTextBufferSize, '\0');
  bool whole = value != nullptr ? formatText(&property[0], kTextBufferSize, "-D%s=%s", name, value)
                                : formatText(&property[0], kTextBufferSize, "-D%s=true", name);
  if (!whole) {
    logError("system property too long, left out: %s", name);
    return;
  }
  property.resize(strlen(property.c_str()));
  list.push_back(std::move(property));
}

// The system properties the Java side reads, in their fixed order.
NarrowArgumentList systemProperties() {
  NarrowArgumentList list;
  const char* semaphore = singleInstanceSemaphoreName();
  if (semaphore != nullptr) addSystemProperty(list, "tovex.semaphoreName", semaphore);
  if (isInstallerFlavour()) addSystemProperty(list, "tovex.isVandrel", nullptr);
  addSystemProperty(list, "tovex.moduleName", executablePath());
  if (configInt(key::singleInstance) != 0) {
    char commFile[kTextBufferSize];
    processTempFileName(commFile, sizeof commFile, static_cast<int>(GetCurrentProcessId()));
    addSystemProperty(list, "tovex.processCommFile", commFile);
  }
  addSystemProperty(list, "tovex.tempDir", extractionDirectory());
  return list;
}

// The JNI records of the options: views into the list, valid while it lives.
std::vector<JavaVMOption> optionRecords(const NarrowArgumentList& options) {
  std::vector<JavaVMOption> records(options.size());
  for (size_t i = 0; i < options.size(); ++i) {
    records[i].optionString = const_cast<char*>(options[i].c_str());
    records[i].extraInfo = nullptr;
  }
  return records;
}

// A redirection file of the launch parameters: the configured name as a full
// path when the switch is on, else empty. With key 3001 its variables are
// expanded as the JVM options' are.
std::wstring redirectionParameter(int switchKey, int fileKey) {
  if (configInt(switchKey) == 0) return std::wstring();
  char configured[kTextBufferSize];
  configString(fileKey, configured, sizeof configured);
  if (modernRuntimeSearch()) substituteVariables(configured, sizeof configured);
  char path[kTextBufferSize];
  fullPath(path, sizeof path, configured, true);
  return wideFromNarrow(path, fileCodePage());
}

// The configured main class, widened character by character: a class name is ASCII.
std::wstring mainClassParameter() {
  char mainClass[kTextBufferSize];
  configString(key::mainClass, mainClass, sizeof mainClass);
  std::wstring widened;
  for (unsigned char c : std::string_view(mainClass)) widened.push_back(c);
  return widened;
}

// The configured program arguments, variables substituted.
void appendConfiguredArguments(WideArgumentList& list) {
  char configured[kTextBufferSize];
  configString(key::programArguments, configured, sizeof configured);
  substituteVariables(configured, sizeof configured);
  splitProgramArguments(wideFromNarrow(configured, CP_ACP).c_str(), list);
}

// ---- Calling into Java ----

// An internal fault of the JVM's: the launch cannot go on.
[[noreturn]] void assertionFailed(InternalError what) {
  logError("assertion failed: %s", internalErrorCode(what));
  fatalInternalError(what);
}

// The installer's first-run hook, called while its marker file exists. False
// stops the launch.
bool checkFirstRun(JNIEnv* env) {
  char marker[kTextBufferSize];
  if (!installationFilePath(marker, sizeof marker, "\\.vandrel\\firstrun") || !fileExists(marker)) return true;

  jclass firstRunClass = env->FindClass(kFirstRunClass);
  if (firstRunClass == nullptr) fatalInternalError(InternalError::firstRunClassMissing);
  jmethodID firstRun = env->GetStaticMethodID(firstRunClass, "firstRun", "()Z");
  if (firstRun == nullptr) fatalInternalError(InternalError::firstRunMethodMissing);
  jboolean goOn = env->CallStaticBooleanMethod(firstRunClass, firstRun);
  if (env->ExceptionOccurred() != nullptr) {
    env->ExceptionDescribe();
    return false;
  }
  return goOn != JNI_FALSE;
}

// The starter's argument for the log: in the file code page, "?" for what it
// cannot show (not a look-alike: the log should not pretend), cut to a text
// buffer.
void logStarterArgument(int index, const std::wstring& argument) {
  std::string narrow(kTextBufferSize, '\0');
  int written = WideCharToMultiByte(fileCodePage(), WC_NO_BEST_FIT_CHARS, argument.c_str(), -1, &narrow[0],
                                    kTextBufferSize, "?", nullptr);
  if (written == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // Longer than the buffer: the log shows its beginning.
    int length = static_cast<int>(wcsnlen(argument.c_str(), kTextBufferSize - 1));
    while (length > 0) {
      written = WideCharToMultiByte(fileCodePage(), WC_NO_BEST_FIT_CHARS, argument.c_str(), length, &narrow[0],
                                    kTextBufferSize - 1, "?", nullptr);
      if (written > 0) break;
      length /= 2;
    }
    narrow[written > 0 ? written : 0] = 0;
  } else if (written == 0) {
    narrow[0] = 0;
  }
  logInfo("param %d: %s", index, narrow.c_str());
}

JavaFailure lastFailure;

// Keeps what main threw for the message, and writes it to the log.
void recordFailure(JNIEnv* env, jthrowable thrown) {
  lastFailure = describeThrowable(env, thrown);
  logError("exception: %s", lastFailure.summary.c_str());
  if (!lastFailure.details.empty()) logError("%s", lastFailure.details.c_str());
}

// The starter class, or the end of the process with its message.
jclass findStarter(JNIEnv* env, jmethodID* mainMethod) {
  logInfo("main class: %s", kStarterClass);
  jclass starter = env->FindClass(kStarterClass);
  const Filling starterName[] = {{kClassNamePlaceholder, kStarterClassName}};
  if (starter == nullptr) {
    logError("could not find main class");
    fatalErrorKeyWith(key::msgMainClassNotLoaded, starterName, 1);
  }
  *mainMethod = env->GetStaticMethodID(starter, "main", kMainSignature);
  if (*mainMethod == nullptr) {
    logError("could not find main method");
    fatalErrorKeyWith(key::msgMainMethodNotFound, starterName, 1);
  }
  return starter;
}

// main's String[] argument, each text straight from UTF-16: Java receives
// every character, whatever the log shows.
jobjectArray javaStrings(JNIEnv* env, const WideArgumentList& parameters) {
  logInfo("param count: %d", static_cast<int>(parameters.size()));
  jclass stringClass = env->FindClass("java/lang/String");
  jobjectArray array =
      stringClass != nullptr ? env->NewObjectArray(static_cast<jsize>(parameters.size()), stringClass, nullptr) : nullptr;
  if (array == nullptr) assertionFailed(InternalError::argumentArrayNotMade);
  for (size_t i = 0; i < parameters.size(); ++i) {
    logStarterArgument(static_cast<int>(i), parameters[i]);
    jstring text = env->NewString(reinterpret_cast<const jchar*>(parameters[i].c_str()),
                                  static_cast<jsize>(parameters[i].size()));
    if (text == nullptr) assertionFailed(InternalError::argumentNotMade);
    env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
  }
  return array;
}

// Runs the first-run hook and the starter's main; false when main ended with
// an exception.
bool callMain(JNIEnv* env, const WideArgumentList& arguments) {
  if (isInstallerFlavour() && !checkFirstRun(env)) {
    logInfo("checkFirstRun stopped further execution");
    return true;
  }
  jmethodID mainMethod = nullptr;
  jclass starter = findStarter(env, &mainMethod);
  jobjectArray array = javaStrings(env, starterArguments(arguments));

  logInfo("calling main");
  env->CallStaticVoidMethod(starter, mainMethod, array);
  logInfo("main returned");
  jthrowable thrown = env->ExceptionOccurred();
  if (thrown == nullptr) return true;
  logError("an exception occured");
  env->ExceptionDescribe();
  if (configInt(key::modernRuntime) != 0) recordFailure(env, thrown);
  return false;
}

}  // namespace

WideArgumentList starterArguments(const WideArgumentList& arguments) {
  WideArgumentList list;
  list.push_back(isGuiExecutable() ? L"true" : L"false");
  list.push_back(mainClassParameter());
  list.push_back(redirectionParameter(key::redirectStderr, key::stderrFile));
  list.push_back(redirectionParameter(key::redirectStdout, key::stdoutFile));
  list.push_back(configInt(key::starterFlag) != 0 ? L"true" : L"false");
  if (arguments.empty()) return list;

  list.push_back(arguments[0]);
  appendConfiguredArguments(list);
  bool vmOptionsFromCommandLine = configInt(key::commandLineVmOptions) != 0;
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (vmOptionsFromCommandLine && arguments[i].compare(0, 2, L"-J") == 0) continue;
    list.push_back(arguments[i]);
  }
  return list;
}

const JavaFailure& javaFailure() { return lastFailure; }

bool tryEnterExpandedWorkingDirectory(char* directory, size_t capacity) {
  directory[0] = 0;
  char configured[kTextBufferSize];
  configString(key::workingDirectory, configured, sizeof configured);
  if (configured[0] == 0) return true;
  substituteVariables(configured, sizeof configured);
  fullPath(directory, capacity, configured, true);
  if (SetCurrentDirectoryA(directory)) {
    logInfo("working directory %s", directory);
    return true;
  }
  logError("working directory %s cannot be entered (error %lu)", directory, static_cast<unsigned long>(GetLastError()));
  return false;
}

void enterExpandedWorkingDirectory() {
  if (!modernRuntimeSearch()) return;
  char directory[kTextBufferSize];
  if (tryEnterExpandedWorkingDirectory(directory, sizeof directory)) return;
  char text[kTextBufferSize];
  configString(key::msgNoWorkingDirectory, text, sizeof text);
  // A block written before message 3008 existed has no text for it.
  if (text[0] == 0) {
    std::string filled = kNoWorkingDirectoryText;
    filled.replace(filled.find(kFileNamePlaceholder), strlen(kFileNamePlaceholder), directory);
    fatalError(filled.c_str());
  }
  fatalErrorKey(key::msgNoWorkingDirectory, kFileNamePlaceholder, directory);
}

bool launchJava(const WideArgumentList& arguments) {
  logInfo("launching program");
  NarrowArgumentList options = assembleJvmOptions(systemProperties(), arguments);
  std::vector<JavaVMOption> records = optionRecords(options);
  JavaVMInitArgs init;
  init.version = JNI_VERSION_1_2;
  init.nOptions = static_cast<jint>(records.size());
  init.options = records.data();
  init.ignoreUnrecognized = JNI_TRUE;

  logInfo("Creating JVM");
  if (!createJvm(init)) {
    logError("could not initialize JVM");
    return false;
  }
  logInfo("JVM created");
  if (!callMain(launchingThreadEnv(), arguments)) {
    logError("could not call main");
    return false;
  }
  logInfo("dest JVM");
  destroyJvm();
  logInfo("launch done");
  return true;
}
