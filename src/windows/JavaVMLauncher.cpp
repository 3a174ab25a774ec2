#include "JavaVMLauncher.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <string>

#include "Config.h"
#include "ErrorReport.h"
#include "JavaFailure.h"
#include "Extraction.h"
#include "Log.h"
#include "Paths.h"
#include "ProcessEnvironment.h"
#include "SingleInstance.h"
#include "TempFiles.h"
#include "WinLoader.h"

bool substituteVariablesWith(char* text, size_t capacity, const VariableValues& values) {
  char* environment = GetEnvironmentStringsA();
  bool whole = substituteVariablesIn(text, capacity, values, environment);
  if (environment != nullptr) FreeEnvironmentStringsA(environment);
  return whole;
}

void substituteVariables(char* text, size_t capacity) {
  VariableValues values{executableDirectory(), extractionDirectory(), javaHome()};
  substituteVariablesWith(text, capacity, values);
}

// ---- The JVM options ----
//
// Buffer guards. The class path option never grows past its kClassPathSize
// bytes: an entry that would not fit is refused whole (and logged), never cut,
// because a cut path names a different file or directory. A required entry
// that was refused counts as missing, so the launch stops with its message
// instead of starting an application that lacks it. Paths built in the
// 8192-byte pieces are refused the same way. An environment variable's value
// is read at its full length, so a long path list is never cut either.

namespace {

// Appends text followed by ";" (unless text ends with one and semicolonOnlyIfMissing)
// when the whole of it fits; otherwise leaves classPath as it was.
bool appendEntry(char* classPath, size_t capacity, const char* text, bool semicolonOnlyIfMissing = false) {
  size_t used = strnlen(classPath, capacity);
  size_t length = strlen(text);
  bool semicolon = !(semicolonOnlyIfMissing && length > 0 && text[length - 1] == ';');
  size_t needed = used + length + (semicolon ? 1 : 0);
  if (used >= capacity || needed >= capacity) {
    logError("class path too long, left out: %s", text);
    return false;
  }
  memcpy(classPath + used, text, length);
  if (semicolon) classPath[used + length++] = ';';
  classPath[used + length] = 0;
  return true;
}

// The environment variable's whole value; false when it is absent.
bool readVariable(const char* name, std::string* value) {
  value->clear();
  SetLastError(0);
  char small[kTextBufferSize];
  DWORD length = GetEnvironmentVariableA(name, small, sizeof small);
  if (length == 0) return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  if (length < sizeof small) {
    value->assign(small, length);
    return true;
  }
  // Too long for the usual buffer: read again at the size the system asks for.
  std::string large(length, '\0');
  DWORD read = GetEnvironmentVariableA(name, &large[0], length);
  if (read == 0 || read >= length) return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  large.resize(read);
  *value = large;
  return true;
}

// One entry of key 121: type letter, fail flag, value.
JvmOptionsResult appendConfiguredEntry(char* classPath, size_t capacity, const char* entry,
                                       std::string* failedName) {
  size_t length = strlen(entry);
  char type = entry[0];
  bool required = length >= 2 && entry[1] == '1';
  char value[kTextBufferSize];
  // An entry of fewer than two characters has no value.
  copyText(value, sizeof value, length >= 2 ? entry + 2 : "");
  substituteVariables(value, sizeof value);

  bool present = false;
  switch (type) {
    case 'S': {
      char directory[kTextBufferSize];
      resolveAgainstExeDir(directory, sizeof directory, value);
      bool allFit = true;
      bool jars = appendArchives(classPath, capacity, directory, "jar", &allFit);
      bool zips = appendArchives(classPath, capacity, directory, "zip", &allFit);
      present = (jars || zips) && allFit;
      break;
    }
    case 'D':
    case 'A': {
      char path[kTextBufferSize];
      resolveAgainstExeDir(path, sizeof path, value);
      bool exists = fileExists(path);
      bool appended = appendEntry(classPath, capacity, path);
      present = exists && appended;
      break;
    }
    case 'E': {
      std::string text;
      bool defined = readVariable(value, &text);
      if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
      // An empty value (also "" in quotes) adds nothing: an empty class path
      // element would stand for the current directory.
      if (!text.empty()) {
        present = appendEntry(classPath, capacity, text.c_str(), true);
      } else if (required && !defined) {
        if (failedName != nullptr) *failedName = value;
        return JvmOptionsResult::variableUndefined;
      }
      break;
    }
    default:
      break;
  }
  if (required && !present) {
    if (failedName != nullptr) *failedName = value;
    return JvmOptionsResult::entryNotFound;
  }
  return JvmOptionsResult::ok;
}

[[noreturn]] void reportFailure(JvmOptionsResult result, const std::string& name) {
  switch (result) {
    case JvmOptionsResult::variableUndefined:
      fatalErrorKey(key::msgEnvVarUndefined, kEnvVarNamePlaceholder, name.c_str());
    case JvmOptionsResult::unclosedQuote:
      fatalErrorKey(key::msgWrongParameterUsage);
    default:
      fatalErrorKey(key::msgFileNotFound, kFileNamePlaceholder, name.c_str());
  }
}

JvmOptionSources currentSources() {
  return JvmOptionSources{executablePath(), extractionDirectory(), isInstallerFlavour()};
}

}  // namespace

bool appendArchives(char* classPath, size_t capacity, const char* directory, const char* extension,
                    bool* allFit) {
  if (!fileExists(directory)) return false;
  char** names = nullptr;
  int count = listFilesWithExtension(directory, extension, &names);
  for (int i = 0; i < count; ++i) {
    char joined[kTextBufferSize];
    char resolved[kTextBufferSize];
    bool fits = formatText(joined, sizeof joined, "%s\\%s", directory, names[i]);
    if (fits) {
      resolveAgainstExeDir(resolved, sizeof resolved, joined);
      fits = strlen(resolved) + 1 < sizeof resolved && appendEntry(classPath, capacity, resolved);
    } else {
      logError("class path too long, left out: %s", joined);
    }
    if (!fits && allFit != nullptr) *allFit = false;
    delete[] names[i];
  }
  delete[] names;
  return true;
}

bool appendRuntimeJar(char* classPath, size_t capacity) {
  char jar[kTextBufferSize];
  if (!installationFilePath(jar, sizeof jar, "\\.vandrel\\vdlruntime.jar")) {
    logError("class path too long, left out: %s", jar);
    return false;
  }
  return appendEntry(classPath, capacity, jar);
}

JvmOptionsResult tryBuildClassPath(char* classPath, size_t capacity, const JvmOptionSources& sources,
                                   std::string* failedName) {
  const char* extracted = sources.extractionDirectory;
  if (extracted != nullptr && extracted[0] != 0) {
    appendArchives(classPath, capacity, extracted, "jar");
    appendArchives(classPath, capacity, extracted, "zip");
  }
  if (sources.installerFlavour) appendRuntimeJar(classPath, capacity);

  char entries[kTextBufferSize];
  configString(key::classPath, entries, sizeof entries);
  // Walked by hand: strtok's hidden position would be shared with any other user.
  for (char* entry = entries; *entry != 0;) {
    char* end = strchr(entry, ';');
    char* next = end != nullptr ? end + 1 : entry + strlen(entry);
    if (end != nullptr) *end = 0;
    if (*entry != 0) {
      JvmOptionsResult result = appendConfiguredEntry(classPath, capacity, entry, failedName);
      if (result != JvmOptionsResult::ok) return result;
    }
    entry = next;
  }
  return JvmOptionsResult::ok;
}

void buildClassPath(char* classPath, size_t capacity) {
  std::string name;
  JvmOptionsResult result = tryBuildClassPath(classPath, capacity, currentSources(), &name);
  if (result != JvmOptionsResult::ok) reportFailure(result, name);
}

FILE* openVmOptionsFileBeside(const char* exePath) {
  char path[kTextBufferSize];
  DWORD length = toLongPath(exePath, path, sizeof path);
  // Without a long form (for example a path that no longer exists) the path
  // is taken as it is.
  if (length == 0 || length >= sizeof path) copyText(path, sizeof path, exePath);

  char candidate[kTextBufferSize];
  size_t pathLength = strlen(path);
  if (pathLength >= 4) {
    copyText(candidate, sizeof candidate, path);
    candidate[pathLength - 4] = 0;
    if (appendText(candidate, sizeof candidate, ".vmoptions")) {
      if (FILE* file = fopen(candidate, "rt")) return file;
    }
  }
  if (formatText(candidate, sizeof candidate, "%s.vmoptions", path)) return fopen(candidate, "rt");
  return nullptr;
}

FILE* openVmOptionsFile() { return openVmOptionsFileBeside(executablePath()); }

void readVmOptions(FILE* file, NarrowArgumentList& options) {
  char line[kTextBufferSize];
  while (fgets(line, sizeof line, file) != nullptr) {
    size_t length = strlen(line);
    // A line longer than the buffer is refused whole: its pieces taken as
    // options of their own would hand the JVM a cut value and a stray rest.
    if (length == sizeof line - 1 && line[length - 1] != '\n') {
      int c = fgetc(file);
      if (c != '\n' && c != EOF) {
        logError("vmoption line too long, left out: %.64s...", line);
        while ((c = fgetc(file)) != EOF && c != '\n') {
        }
        continue;
      }
    }
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n')) line[--length] = 0;
    while (length > 0 && line[length - 1] == ' ') line[--length] = 0;
    const char* start = line;
    while (*start == ' ') ++start;
    if (*start == 0 || *start == '#') continue;
    options.push_back(newNarrowCopy(start));
  }
}

JvmOptionsResult tryAssembleJvmOptions(const char* const* systemProperties, const WideArgumentList& arguments,
                                       const JvmOptionSources& sources, NarrowArgumentList& options,
                                       std::string* failedName) {
  NarrowArgumentList list;
  for (const char* const* property = systemProperties; property != nullptr && *property != nullptr; ++property) {
    list.push_back(newNarrowCopy(*property));
  }

  if (FILE* file = openVmOptionsFileBeside(sources.executablePath)) {
    readVmOptions(file, list);
    fclose(file);
  }

  char* classPath = new char[kClassPathSize];
  copyText(classPath, kClassPathSize, kClassPathPrefix);
  JvmOptionsResult result = tryBuildClassPath(classPath, kClassPathSize, sources, failedName);
  if (result != JvmOptionsResult::ok) return result;
  list.push_back(classPath);

  char configured[kTextBufferSize];
  configString(key::vmParameters, configured, sizeof configured);
  substituteVariables(configured, sizeof configured);
  if (trySplitNarrowArguments(configured, list) != SplitResult::ok) return JvmOptionsResult::unclosedQuote;

  if (configInt(key::commandLineVmOptions) != 0) {
    for (const wchar_t* argument : arguments) {
      if (argument != nullptr && wcsncmp(argument, L"-J", 2) == 0) {
        list.push_back(newNarrowFromWide(argument + 2, CP_ACP));
      }
    }
  }

  options.insert(options.end(), list.begin(), list.end());
  return JvmOptionsResult::ok;
}

NarrowArgumentList assembleJvmOptions(const char* const* systemProperties, const WideArgumentList& arguments) {
  NarrowArgumentList options;
  std::string name;
  JvmOptionsResult result = tryAssembleJvmOptions(systemProperties, arguments, currentSources(), options, &name);
  if (result != JvmOptionsResult::ok) reportFailure(result, name);
  logInfo("vmoption count %d", static_cast<int>(options.size()));
  for (size_t i = 0; i < options.size(); ++i) logInfo("vmoption %d: %s", static_cast<int>(i), options[i]);
  return options;
}

// ---- The launch ----

namespace {

// The created JVM. Only the main thread writes these, once, after
// JNI_CreateJavaVM succeeded; the splash thread reads them.
JavaVM* javaVM = nullptr;
JNIEnv* jniEnv = nullptr;
volatile bool jvmCreated = false;

}  // namespace

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

namespace {

constexpr const char* kStarterClass = "com/tovex/runtime/WinLauncher";
// The starter as a message names it.
constexpr const char* kStarterClassName = "com.tovex.runtime.WinLauncher";
constexpr const char* kFirstRunClass = "com/vandrel/runtime/FirstRun";
constexpr const char* kMainSignature = "([Ljava/lang/String;)V";

// A redirection file of the launch parameters: the configured name as a full
// path when the switch is on, else empty.
wchar_t* newRedirectionParameter(int switchKey, int fileKey) {
  if (configInt(switchKey) == 0) return newWideCopy(L"");
  char configured[kTextBufferSize];
  configString(fileKey, configured, sizeof configured);
  char path[kTextBufferSize];
  fullPath(path, sizeof path, configured, true);
  return newWideFromNarrow(path, fileCodePage());
}

// "-D<name>=<value>", or "-D<name>=true" for a flag (value nullptr), appended
// to the list; a property too long for its buffer is left out, not cut.
void addSystemProperty(NarrowArgumentList& list, const char* name, const char* value) {
  char* property = new char[kTextBufferSize];
  bool whole = value != nullptr ? formatText(property, kTextBufferSize, "-D%s=%s", name, value)
                                : formatText(property, kTextBufferSize, "-D%s=true", name);
  if (!whole) {
    logError("system property too long, left out: %s", name);
    delete[] property;
    return;
  }
  list.push_back(property);
}

// The system properties the Java side reads, in their fixed order, ending
// with a null entry.
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
  list.push_back(nullptr);
  return list;
}

// An internal fault of the JVM's: the launch cannot go on.
[[noreturn]] void assertionFailed(const char* what) {
  logError("assertion failed: %s", what);
  fatalErrorKey(key::msgInternalError, kErrorCodePlaceholder, what);
}

// The installer's first-run hook, called while its marker file exists. False
// stops the launch.
bool checkFirstRun() {
  char marker[kTextBufferSize];
  if (!installationFilePath(marker, sizeof marker, "\\.vandrel\\firstrun") || !fileExists(marker)) return true;

  jclass firstRunClass = jniEnv->FindClass(kFirstRunClass);
  if (firstRunClass == nullptr) fatalErrorKey(key::msgInternalError, kErrorCodePlaceholder, "14");
  jmethodID firstRun = jniEnv->GetStaticMethodID(firstRunClass, "firstRun", "()Z");
  if (firstRun == nullptr) fatalErrorKey(key::msgInternalError, kErrorCodePlaceholder, "15");
  jboolean goOn = jniEnv->CallStaticBooleanMethod(firstRunClass, firstRun);
  if (jniEnv->ExceptionOccurred() != nullptr) {
    jniEnv->ExceptionDescribe();
    return false;
  }
  return goOn != JNI_FALSE;
}

// The starter's argument for the log: in the file code page, "?" for what it
// cannot show (not a look-alike: the log should not pretend), cut to a text
// buffer.
void logStarterArgument(int index, const wchar_t* argument) {
  char* narrow = new char[kTextBufferSize];
  int written =
      WideCharToMultiByte(fileCodePage(), WC_NO_BEST_FIT_CHARS, argument, -1, narrow, kTextBufferSize, "?", nullptr);
  if (written == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // Longer than the buffer: the log shows its beginning.
    int length = static_cast<int>(wcsnlen(argument, kTextBufferSize - 1));
    while (length > 0) {
      written = WideCharToMultiByte(fileCodePage(), WC_NO_BEST_FIT_CHARS, argument, length, narrow, kTextBufferSize - 1,
                                    "?", nullptr);
      if (written > 0) break;
      length /= 2;
    }
    narrow[written > 0 ? written : 0] = 0;
  } else if (written == 0) {
    narrow[0] = 0;
  }
  logInfo("param %d: %s", index, narrow);
  delete[] narrow;
}

JavaFailure lastFailure;

// Keeps what main threw for the message, and writes it to the log.
void recordFailure(jthrowable thrown) {
  lastFailure = describeThrowable(jniEnv, thrown);
  logError("exception: %s", lastFailure.summary.c_str());
  if (!lastFailure.details.empty()) logError("%s", lastFailure.details.c_str());
}

// Runs the first-run hook and the starter's main; false when main ended with
// an exception.
bool callMain(const WideArgumentList& arguments) {
  if (isInstallerFlavour() && !checkFirstRun()) {
    logInfo("checkFirstRun stopped further execution");
    return true;
  }

  char className[kTextBufferSize];
  copyText(className, sizeof className, kStarterClass);
  for (char* c = className; *c != 0; ++c) {
    if (*c == '.') *c = '/';
  }
  logInfo("main class: %s", className);
  jclass starter = jniEnv->FindClass(className);
  const Filling starterName[] = {{kClassNamePlaceholder, kStarterClassName}};
  if (starter == nullptr) {
    logError("could not find main class");
    fatalErrorKeyWith(key::msgMainClassNotLoaded, starterName, 1);
  }
  jmethodID mainMethod = jniEnv->GetStaticMethodID(starter, "main", kMainSignature);
  if (mainMethod == nullptr) {
    logError("could not find main method");
    fatalErrorKeyWith(key::msgMainMethodNotFound, starterName, 1);
  }

  WideArgumentList parameters = starterArguments(arguments);
  logInfo("param count: %d", static_cast<int>(parameters.size()));
  jclass stringClass = jniEnv->FindClass("java/lang/String");
  jobjectArray array = stringClass != nullptr ? jniEnv->NewObjectArray(static_cast<jsize>(parameters.size()),
                                                                       stringClass, nullptr)
                                              : nullptr;
  if (array == nullptr) assertionFailed("paramArray");
  for (size_t i = 0; i < parameters.size(); ++i) {
    logStarterArgument(static_cast<int>(i), parameters[i]);
    // Straight from UTF-16: Java receives every character, whatever the log shows.
    jstring text = jniEnv->NewString(reinterpret_cast<const jchar*>(parameters[i]),
                                     static_cast<jsize>(wcslen(parameters[i])));
    if (text == nullptr) assertionFailed("jstr");
    jniEnv->SetObjectArrayElement(array, static_cast<jsize>(i), text);
  }

  logInfo("calling main");
  jniEnv->CallStaticVoidMethod(starter, mainMethod, array);
  logInfo("main returned");
  jthrowable thrown = jniEnv->ExceptionOccurred();
  bool failed = thrown != nullptr;
  if (failed) {
    logError("an exception occured");
    jniEnv->ExceptionDescribe();
    if (configInt(key::modernRuntime) != 0) recordFailure(thrown);
  }
  WideArgumentList().swap(parameters);
  return !failed;
}

}  // namespace

WideArgumentList starterArguments(const WideArgumentList& arguments) {
  WideArgumentList list;
  list.push_back(newWideCopy(configInt(key::executableType) == 1 ? L"true" : L"false"));
  char mainClass[kTextBufferSize];
  configString(key::mainClass, mainClass, sizeof mainClass);
  // Widened character by character: a class name is ASCII.
  wchar_t* widened = new wchar_t[strlen(mainClass) + 1];
  size_t length = 0;
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(mainClass); *c != 0; ++c) widened[length++] = *c;
  widened[length] = 0;
  list.push_back(widened);
  list.push_back(newRedirectionParameter(key::redirectStderr, key::stderrFile));
  list.push_back(newRedirectionParameter(key::redirectStdout, key::stdoutFile));
  list.push_back(newWideCopy(configInt(key::starterFlag) != 0 ? L"true" : L"false"));
  if (arguments.empty()) return list;

  list.push_back(newWideCopy(arguments[0]));
  char configured[kTextBufferSize];
  configString(key::programArguments, configured, sizeof configured);
  substituteVariables(configured, sizeof configured);
  wchar_t* wideConfigured = newWideFromNarrow(configured, CP_ACP);
  splitArguments(wideConfigured, list);
  delete[] wideConfigured;

  bool vmOptionsFromCommandLine = configInt(key::commandLineVmOptions) != 0;
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (vmOptionsFromCommandLine && wcsncmp(arguments[i], L"-J", 2) == 0) continue;
    list.push_back(newWideCopy(arguments[i]));
  }
  return list;
}

const JavaFailure& javaFailure() { return lastFailure; }

bool launchJava(const WideArgumentList& arguments, bool destroyAfterMain) {
  logInfo("launching program");
  NarrowArgumentList properties = systemProperties();
  NarrowArgumentList options = assembleJvmOptions(properties.data(), arguments);

  std::vector<JavaVMOption> records(options.size());
  for (size_t i = 0; i < options.size(); ++i) {
    records[i].optionString = options[i];
    records[i].extraInfo = nullptr;
  }
  JavaVMInitArgs init;
  init.version = JNI_VERSION_1_2;
  init.nOptions = static_cast<jint>(records.size());
  init.options = records.data();
  init.ignoreUnrecognized = JNI_TRUE;

  logInfo("Creating JVM");
  CreateJavaVmFunction create = createJavaVmEntry();
  if (create == nullptr || create(reinterpret_cast<void**>(&javaVM), reinterpret_cast<void**>(&jniEnv), &init) != JNI_OK) {
    logError("could not initialize JVM");
    return false;
  }
  logInfo("JVM created");
  jvmCreated = true;

  if (!callMain(arguments)) {
    logError("could not call main");
    return false;
  }
  if (destroyAfterMain) {
    logInfo("dest JVM");
    javaVM->DestroyJavaVM();
  }
  logInfo("launch done");
  return true;
}
