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
#include "JavaFailure.h"
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
NarrowArgumentList systemProperties(const ExtractedFiles& extraction) {
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
  addSystemProperty(list, "tovex.tempDir", extraction.directory.c_str());
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
std::wstring redirectionParameter(int switchKey, int fileKey, const VariableValues& variables) {
  if (configInt(switchKey) == 0) return std::wstring();
  char configured[kTextBufferSize];
  configString(fileKey, configured, sizeof configured);
  if (modernRuntimeSearch()) substituteVariables(configured, sizeof configured, variables);
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
SplitResult appendConfiguredArguments(WideArgumentList& list, const VariableValues& variables) {
  char configured[kTextBufferSize];
  configString(key::programArguments, configured, sizeof configured);
  substituteVariables(configured, sizeof configured, variables);
  return splitProgramArguments(wideFromNarrow(configured, CP_ACP).c_str(), list);
}

// ---- Calling into Java ----

// An internal fault of the JVM's: the launch cannot go on.
StartFailure assertionFailed(InternalError what) {
  logError("assertion failed: %s", internalErrorCode(what));
  return internalFailure(what);
}

// The installer's first-run hook, called while its marker file exists. False
// in *goOn stops the launch; a failure when its class or method is missing.
StartFailure checkFirstRun(JNIEnv* env, bool* goOn) {
  *goOn = true;
  char marker[kTextBufferSize];
  if (!installationFilePath(marker, sizeof marker, "\\.vandrel\\firstrun") || !fileExists(marker)) return {};

  jclass firstRunClass = env->FindClass(kFirstRunClass);
  if (firstRunClass == nullptr) return internalFailure(InternalError::firstRunClassMissing);
  jmethodID firstRun = env->GetStaticMethodID(firstRunClass, "firstRun", "()Z");
  if (firstRun == nullptr) return internalFailure(InternalError::firstRunMethodMissing);
  jboolean answer = env->CallStaticBooleanMethod(firstRunClass, firstRun);
  if (env->ExceptionOccurred() != nullptr) {
    env->ExceptionDescribe();
    *goOn = false;
    return {};
  }
  *goOn = answer != JNI_FALSE;
  return {};
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

// Message 1003 for a JVM that could not start the application: with key
// 3001 it names what main threw (logged too), else its placeholder stays empty.
StartFailure notStartedFailure(const JavaFailure& thrown) {
  StartFailure failure = messageFailure(key::msgJvmNotStarted, kExceptionPlaceholder, thrown.summary.c_str());
  failure.kind = StartFailure::Kind::messageFillings;
  failure.text = thrown.details;
  return failure;
}

// Message key naming the starter class.
StartFailure starterFailure(int key) {
  StartFailure failure = messageFailure(key, kClassNamePlaceholder, kStarterClassName);
  failure.kind = StartFailure::Kind::messageFillings;
  return failure;
}

// The starter class and its main method, or the failure with its message.
StartFailure findStarter(JNIEnv* env, jclass* starter, jmethodID* mainMethod) {
  logInfo("main class: %s", kStarterClass);
  *starter = env->FindClass(kStarterClass);
  if (*starter == nullptr) {
    logError("could not find main class");
    return starterFailure(key::msgMainClassNotLoaded);
  }
  *mainMethod = env->GetStaticMethodID(*starter, "main", kMainSignature);
  if (*mainMethod == nullptr) {
    logError("could not find main method");
    return starterFailure(key::msgMainMethodNotFound);
  }
  return {};
}

// main's String[] argument, each text straight from UTF-16: Java receives
// every character, whatever the log shows.
StartFailure javaStrings(JNIEnv* env, const WideArgumentList& parameters, jobjectArray* array) {
  logInfo("param count: %d", static_cast<int>(parameters.size()));
  jclass stringClass = env->FindClass("java/lang/String");
  *array =
      stringClass != nullptr ? env->NewObjectArray(static_cast<jsize>(parameters.size()), stringClass, nullptr) : nullptr;
  if (*array == nullptr) return assertionFailed(InternalError::argumentArrayNotMade);
  for (size_t i = 0; i < parameters.size(); ++i) {
    logStarterArgument(static_cast<int>(i), parameters[i]);
    jstring text = env->NewString(reinterpret_cast<const jchar*>(parameters[i].c_str()),
                                  static_cast<jsize>(parameters[i].size()));
    if (text == nullptr) return assertionFailed(InternalError::argumentNotMade);
    env->SetObjectArrayElement(*array, static_cast<jsize>(i), text);
  }
  return {};
}

// Runs the first-run hook and the starter's main; the failure when main
// ended with an exception or could not be called.
StartFailure callMain(JNIEnv* env, const WideArgumentList& arguments, const VariableValues& variables) {
  bool goOn = true;
  if (isInstallerFlavour()) {
    StartFailure failure = checkFirstRun(env, &goOn);
    if (failure) return failure;
  }
  if (!goOn) {
    logInfo("checkFirstRun stopped further execution");
    return {};
  }
  jclass starter = nullptr;
  jmethodID mainMethod = nullptr;
  jobjectArray array = nullptr;
  StartFailure failure = findStarter(env, &starter, &mainMethod);
  if (failure) return failure;
  WideArgumentList parameters = starterArguments(arguments, variables, &failure);
  if (!failure) failure = javaStrings(env, parameters, &array);
  if (failure) return failure;

  logInfo("calling main");
  env->CallStaticVoidMethod(starter, mainMethod, array);
  logInfo("main returned");
  jthrowable thrown = env->ExceptionOccurred();
  if (thrown == nullptr) return {};
  logError("an exception occured");
  env->ExceptionDescribe();
  JavaFailure described;
  if (configInt(key::modernRuntime) != 0) {
    described = describeThrowable(env, thrown);
    logError("exception: %s", described.summary.c_str());
    if (!described.details.empty()) logError("%s", described.details.c_str());
  }
  logError("could not call main");
  return notStartedFailure(described);
}

}  // namespace

WideArgumentList starterArguments(const WideArgumentList& arguments, const VariableValues& variables,
                                   StartFailure* failure) {
  WideArgumentList list;
  list.push_back(isGuiExecutable() ? L"true" : L"false");
  list.push_back(mainClassParameter());
  list.push_back(redirectionParameter(key::redirectStderr, key::stderrFile, variables));
  list.push_back(redirectionParameter(key::redirectStdout, key::stdoutFile, variables));
  list.push_back(configInt(key::starterFlag) != 0 ? L"true" : L"false");
  if (arguments.empty()) return list;

  list.push_back(arguments[0]);
  if (appendConfiguredArguments(list, variables) != SplitResult::ok && failure != nullptr) {
    *failure = messageFailure(key::msgWrongParameterUsage);
  }
  bool vmOptionsFromCommandLine = configInt(key::commandLineVmOptions) != 0;
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (vmOptionsFromCommandLine && arguments[i].compare(0, 2, L"-J") == 0) continue;
    list.push_back(arguments[i]);
  }
  return list;
}

bool tryEnterExpandedWorkingDirectory(char* directory, size_t capacity, const VariableValues& variables) {
  directory[0] = 0;
  char configured[kTextBufferSize];
  configString(key::workingDirectory, configured, sizeof configured);
  if (configured[0] == 0) return true;
  substituteVariables(configured, sizeof configured, variables);
  fullPath(directory, capacity, configured, true);
  if (SetCurrentDirectoryA(directory)) {
    logInfo("working directory %s", directory);
    return true;
  }
  logError("working directory %s cannot be entered (error %lu)", directory, static_cast<unsigned long>(GetLastError()));
  return false;
}

StartFailure enterExpandedWorkingDirectory(const VariableValues& variables) {
  if (!modernRuntimeSearch()) return {};
  char directory[kTextBufferSize];
  if (tryEnterExpandedWorkingDirectory(directory, sizeof directory, variables)) return {};
  char text[kTextBufferSize];
  configString(key::msgNoWorkingDirectory, text, sizeof text);
  if (text[0] != 0) return messageFailure(key::msgNoWorkingDirectory, kFileNamePlaceholder, directory);
  // A block written before message 3008 existed has no text for it.
  StartFailure failure;
  failure.kind = StartFailure::Kind::text;
  failure.text = kNoWorkingDirectoryText;
  failure.text.replace(failure.text.find(kFileNamePlaceholder), strlen(kFileNamePlaceholder), directory);
  return failure;
}

StartFailure launchJava(const LoadedRuntime& runtime, const ExtractedFiles& extraction,
                        const VariableValues& variables, const WideArgumentList& arguments) {
  logInfo("launching program");
  JvmOptionSources sources{executableLongPath(), &extraction, isInstallerFlavour(), variables};
  StartFailure failure;
  NarrowArgumentList options = assembleJvmOptions(systemProperties(extraction), arguments, sources, &failure);
  if (failure) return failure;
  std::vector<JavaVMOption> records = optionRecords(options);
  JavaVMInitArgs init;
  init.version = JNI_VERSION_1_2;
  init.nOptions = static_cast<jint>(records.size());
  init.options = records.data();
  init.ignoreUnrecognized = JNI_TRUE;

  logInfo("Creating JVM");
  if (!createJvm(runtime, init)) {
    logError("could not initialize JVM");
    return notStartedFailure(JavaFailure());
  }
  logInfo("JVM created");
  failure = callMain(launchingThreadEnv(), arguments, variables);
  if (failure) return failure;
  logInfo("dest JVM");
  destroyJvm();
  logInfo("launch done");
  return {};
}
