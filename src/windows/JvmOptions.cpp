#include "JvmOptions.h"
#include "JvmOptionsInternal.h"

#include <windows.h>

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "ErrorReport.h"
#include "Log.h"
#include "Paths.h"
#include "ProcessEnvironment.h"
#include "UniqueHandle.h"
#include "VariableSubstitution.h"

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

// Appends directory\name;  for each of the archives named (jar files, then
// zip files). allFit, when given, turns false if an archive was left out for
// want of room.
void appendArchives(char* classPath, size_t capacity, const char* directory,
                    const std::vector<std::vector<std::string>>& archives, bool* allFit = nullptr) {
  for (const std::vector<std::string>& names : archives) {
    for (const std::string& name : names) {
      char joined[kTextBufferSize];
      char resolved[kTextBufferSize];
      bool fits = formatText(joined, sizeof joined, "%s\\%s", directory, name.c_str());
      if (fits) {
        resolveAgainstExeDir(resolved, sizeof resolved, joined);
        fits = strlen(resolved) + 1 < sizeof resolved && appendEntry(classPath, capacity, resolved);
      } else {
        logError("class path too long, left out: %s", joined);
      }
      if (!fits && allFit != nullptr) *allFit = false;
    }
  }
}

// Appends the installer's runtime jar under the directory of key 10003
// (full path, lower case). False when it was left out for want of room.
bool appendRuntimeJar(char* classPath, size_t capacity) {
  char jar[kTextBufferSize];
  if (!installationFilePath(jar, sizeof jar, "\\.vandrel\\vdlruntime.jar")) {
    logError("class path too long, left out: %s", jar);
    return false;
  }
  return appendEntry(classPath, capacity, jar);
}

// One entry of key 121: type letter, fail flag, value.
JvmOptionsResult appendConfiguredEntry(char* classPath, size_t capacity, std::string_view entry,
                                       const VariableValues& variables, std::string* failedName) {
  char type = entry[0];
  bool required = entry.size() >= 2 && entry[1] == '1';
  char value[kTextBufferSize];
  // An entry of fewer than two characters has no value.
  copyText(value, sizeof value, entry.size() >= 2 ? entry.substr(2) : std::string_view());
  substituteVariables(value, sizeof value, variables);

  bool present = false;
  switch (type) {
    case 'S': {
      char directory[kTextBufferSize];
      resolveAgainstExeDir(directory, sizeof directory, value);
      bool allFit = true;
      // A missing directory adds nothing.
      appendArchives(classPath, capacity, directory, entriesWithExtensions(directory, {"jar", "zip"}), &allFit);
      present = allFit && fileExists(directory);
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

// The class path option, sized exactly once it is complete.
JvmOptionsResult classPathOption(const JvmOptionSources& sources, std::string& option, std::string* failedName) {
  option.assign(kClassPathSize, '\0');
  copyText(&option[0], kClassPathSize, kClassPathPrefix);
  JvmOptionsResult result = tryBuildClassPath(&option[0], kClassPathSize, sources, failedName);
  option.resize(strnlen(option.data(), kClassPathSize));
  return result;
}

// The "-J" arguments without their prefix, when key 125 lets them through.
void appendCommandLineOptions(const WideArgumentList& arguments, NarrowArgumentList& list) {
  if (configInt(key::commandLineVmOptions) == 0) return;
  for (const std::wstring& argument : arguments) {
    if (argument.compare(0, 2, L"-J") == 0) list.push_back(narrowFromWide(argument.c_str() + 2, CP_ACP));
  }
}

StartFailure failureOf(JvmOptionsResult result, const std::string& name) {
  switch (result) {
    case JvmOptionsResult::variableUndefined:
      return messageFailure(key::msgEnvVarUndefined, kEnvVarNamePlaceholder, name.c_str());
    case JvmOptionsResult::unclosedQuote:
      return messageFailure(key::msgWrongParameterUsage);
    default:
      return messageFailure(key::msgFileNotFound, kFileNamePlaceholder, name.c_str());
  }
}

}  // namespace

std::vector<std::vector<std::string>> extractedArchives(const ExtractedFiles& files) {
  if (!files.reused) return entriesWithExtensions(files.directory.c_str(), {"jar", "zip"});
  // A reused folder goes by the names checked in it: a file put there
  // afterwards must not reach the class path.
  std::vector<std::vector<std::string>> lists(2);
  for (const std::string& name : files.reusedNames) {
    if (hasExtension(name.c_str(), "jar")) lists[0].push_back(name);
    else if (hasExtension(name.c_str(), "zip")) lists[1].push_back(name);
  }
  return lists;
}

JvmOptionsResult tryBuildClassPath(char* classPath, size_t capacity, const JvmOptionSources& sources,
                                   std::string* failedName) {
  const ExtractedFiles* extraction = sources.extraction;
  if (extraction != nullptr && !extraction->directory.empty()) {
    appendArchives(classPath, capacity, extraction->directory.c_str(), extractedArchives(*extraction));
  }
  if (sources.installerFlavour) appendRuntimeJar(classPath, capacity);

  char entries[kTextBufferSize];
  configString(key::classPath, entries, sizeof entries);
  JvmOptionsResult result = JvmOptionsResult::ok;
  forEachListEntry(entries, [&](std::string_view entry) {
    result = appendConfiguredEntry(classPath, capacity, entry, sources.variables, failedName);
    return result != JvmOptionsResult::ok;
  });
  return result;
}

FILE* openVmOptionsFileBeside(const char* exePath) {
  char path[kTextBufferSize];
  DWORD length = longFormOf(exePath, path, sizeof path);
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
    trimLineEnd(line);
    length = strlen(line);
    while (length > 0 && line[length - 1] == ' ') line[--length] = 0;
    const char* start = line;
    while (*start == ' ') ++start;
    if (*start == 0 || *start == '#') continue;
    options.push_back(start);
  }
}

void appendVmOptionsFile(const char* exePath, NarrowArgumentList& options) {
  UniqueFile file(openVmOptionsFileBeside(exePath));
  if (file) readVmOptions(file.get(), options);
}

JvmOptionsResult tryAssembleJvmOptions(NarrowArgumentList systemProperties, const WideArgumentList& arguments,
                                       const JvmOptionSources& sources, NarrowArgumentList& options,
                                       std::string* failedName) {
  NarrowArgumentList list = std::move(systemProperties);
  // With key 3001 the user's file comes after the project's options, so that
  // the JVM's last-one-wins rule lets the user override them.
  bool userFileLast = modernRuntimeSearch();
  if (!userFileLast) appendVmOptionsFile(sources.executablePath, list);

  std::string classPath;
  JvmOptionsResult result = classPathOption(sources, classPath, failedName);
  if (result != JvmOptionsResult::ok) return result;
  list.push_back(std::move(classPath));

  char configured[kTextBufferSize];
  configString(key::vmParameters, configured, sizeof configured);
  substituteVariables(configured, sizeof configured, sources.variables);
  if (trySplitNarrowArguments(configured, list) != SplitResult::ok) return JvmOptionsResult::unclosedQuote;

  if (userFileLast) appendVmOptionsFile(sources.executablePath, list);
  appendCommandLineOptions(arguments, list);
  options = std::move(list);
  return JvmOptionsResult::ok;
}

NarrowArgumentList assembleJvmOptions(NarrowArgumentList systemProperties, const WideArgumentList& arguments,
                                      const JvmOptionSources& sources, StartFailure* failure) {
  NarrowArgumentList options;
  std::string name;
  JvmOptionsResult result = tryAssembleJvmOptions(std::move(systemProperties), arguments, sources, options, &name);
  if (result != JvmOptionsResult::ok) {
    *failure = failureOf(result, name);
    return NarrowArgumentList();
  }
  logInfo("vmoption count %d", static_cast<int>(options.size()));
  for (size_t i = 0; i < options.size(); ++i) logInfo("vmoption %d: %s", static_cast<int>(i), options[i].c_str());
  return options;
}
