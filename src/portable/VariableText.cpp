// Variables in configured texts.
#include "VariableText.h"

#include <cstring>
#include <initializer_list>

#include "Buffers.h"

// Growing a text past its buffer refuses the one replacement rather than
// cutting the text: a cut class path entry or option would silently name a
// different file or value, while an unexpanded token stays visible as the
// name the user configured (and in the log).

bool replaceAll(char* text, size_t capacity, const char* token, const char* value) {
  size_t tokenLength = strlen(token);
  if (tokenLength == 0 || capacity == 0) return true;
  size_t length = strnlen(text, capacity);
  if (length >= capacity) return false;  // not terminated: left alone
  size_t valueLength = strlen(value);

  bool whole = true;
  size_t from = 0;
  while (const char* found = strstr(text + from, token)) {
    size_t at = static_cast<size_t>(found - text);
    size_t newLength = length - tokenLength + valueLength;
    if (newLength >= capacity) {
      whole = false;
      from = at + tokenLength;
      continue;
    }
    memmove(text + at + valueLength, text + at + tokenLength, length - at - tokenLength + 1);
    memcpy(text + at, value, valueLength);
    length = newLength;
    from = at + valueLength;
  }
  return whole;
}

namespace {

bool replaceBothPrefixes(char* text, size_t capacity, const char* format, const char* name,
                         const char* value) {
  bool whole = true;
  for (const char* prefix : {"TOVEX_", "VANDREL_"}) {
    char token[64];
    formatText(token, sizeof token, format, prefix, name);
    whole = replaceAll(text, capacity, token, value) && whole;
  }
  return whole;
}

bool substituteEnvironment(char* text, size_t capacity, const char* block) {
  if (block == nullptr) return true;
  bool whole = true;
  for (const char* entry = block; *entry != 0; entry += strlen(entry) + 1) {
    char name[kTextBufferSize];
    // An entry too long for the buffer is left out rather than cut to a
    // different value.
    if (!copyText(name, sizeof name, entry)) {
      whole = false;
      continue;
    }
    char* equals = strchr(name, '=');
    // The system's per-drive entries ("=C:=C:\...") have no name of their own.
    if (equals == nullptr || equals == name) continue;
    *equals = 0;
    const char* value = equals + 1;

    char token[kTextBufferSize];
    if (!formatText(token, sizeof token, "${%s}", name)) continue;
    whole = replaceAll(text, capacity, token, value) && whole;
    char upper[kTextBufferSize];
    copyText(upper, sizeof upper, token);
    for (char* c = upper; *c != 0; ++c) {
      if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
    }
    // A name already in upper case has had its turn; another pass would
    // expand what its value brought in.
    if (strcmp(upper, token) != 0) whole = replaceAll(text, capacity, upper, value) && whole;
  }
  return whole;
}

}  // namespace

bool substituteVariablesIn(char* text, size_t capacity, const VariableValues& values,
                           const char* environment) {
  struct Fixed {
    const char* name;
    const char* value;
  };
  const Fixed fixed[] = {
      {"EXEDIR", values.exeDirectory},
      {"TEMPDIR", values.tempDirectory},
      {"PATHLIST_SEPARATOR", ";"},
      {"JVM_HOME", values.javaHome},
  };
  bool whole = true;
  for (const char* format : {"%%%s%s%%", "${%s%s}"}) {
    for (const Fixed& variable : fixed) {
      const char* value = variable.value != nullptr ? variable.value : "";
      whole = replaceBothPrefixes(text, capacity, format, variable.name, value) && whole;
    }
  }
  return substituteEnvironment(text, capacity, environment) && whole;
}
