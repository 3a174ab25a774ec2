// Reporting a failure to the user: a message box, or a line on the standard
// error stream when message boxes are off. The fatal variants end the process.
//
// The bottom of the launcher: it knows no unit above it. Start-up hands it the
// configured texts and the steps to take before a message or an exit.
#pragma once
#include <windows.h>

#include <cstddef>

#include "ErrorCodes.h"

// Message keys and the placeholders their texts may hold.
constexpr const char* kErrorCodePlaceholder = "%ERROR_CODE%";
constexpr const char* kEnvVarNamePlaceholder = "%ENV_VAR_NAME%";
constexpr const char* kFileNamePlaceholder = "%FILE_NAME%";
constexpr const char* kDefinedPathPlaceholder = "%DEFINED_PATH%";
// Filled only when the block switches the modern behaviour on (key 3001).
constexpr const char* kExceptionPlaceholder = "%EXCEPTION%";
constexpr const char* kClassNamePlaceholder = "%CLASS_NAME%";
constexpr const char* kDownloadUrlPlaceholder = "%DOWNLOAD_URL%";
constexpr const char* kRequiredArchPlaceholder = "%REQUIRED_ARCH%";
constexpr const char* kFoundArchPlaceholder = "%FOUND_ARCH%";
constexpr const char* kRuntimePathPlaceholder = "%RUNTIME_PATH%";
constexpr const char* kRuntimesTriedPlaceholder = "%RUNTIMES_TRIED%";

// A placeholder and the text that takes its place.
struct Filling {
  const char* placeholder;
  const char* value;
};

// Where the configured texts and switches come from. Until start-up sets it,
// every text is empty and every switch 0.
using ConfiguredText = void (*)(int key, char* out, size_t capacity);
using ConfiguredNumber = int (*)(int key);
void setMessageSource(ConfiguredText text, ConfiguredNumber number);

// Steps start-up has the report take first: before every message (and its
// fatal end), and before an exit without a message. Taken in the order added;
// false when the moment has no room for another.
enum class ReportMoment { beforeMessage, beforeExit };
using ReportStep = void (*)();
bool addReportStep(ReportMoment moment, ReportStep step);

void showErrorKey(int key, const char* placeholder = nullptr, const char* value = nullptr);
[[noreturn]] void fatalError(const char* text);
[[noreturn]] void fatalErrorKey(int key, const char* placeholder = nullptr, const char* value = nullptr);
[[noreturn]] void exitLauncher(ExitCode code);

// Message 1009 with the error's code.
[[noreturn]] void fatalInternalError(InternalError error);

// The fixed text of a block that cannot be read.
[[noreturn]] void fatalBlockError(BlockError error);

// "error N" on the standard output stream: the system's code of a failed read.
void printSystemError(unsigned long code);

// No temporary location can be written to: a message box even when message
// boxes are off (nothing else could run), then the exit.
[[noreturn]] void fatalNoWritableLocation();

// The note on the standard output stream that a packed runtime is being
// restored, which takes a while.
void announceRuntimeUnpacking();

// A message key's text with several placeholders filled, each wherever it
// stands, and below it details (stack lines, say). Without key 3001 only the
// text is shown, as configured.
void showErrorKeyWith(int key, const Filling* fillings, size_t count, const char* details = nullptr);
[[noreturn]] void fatalErrorKeyWith(int key, const Filling* fillings, size_t count, const char* details = nullptr);

// The message that no runtime can be used. With a download page (key 3004)
// the message box asks whether to open it and Yes opens it in the browser;
// without message boxes the page's address follows the text, unless the text
// names it already. An address isWebAddress refuses is not offered (logged).
void showNoRuntimeError(int key, const Filling* fillings, size_t count);

// Whether a download page address may be handed to the shell: a well-formed
// http or https address with no blank, quote or control character
// (WebAddress.h).
bool isWebAddress(const char* url);

void setQuiet();
void setMessageOwner(HWND window);

// Replaces every occurrence of placeholder in text by value, in place, in one
// pass: a value that holds the placeholder itself is not filled again.
void replaceEveryUse(char* text, size_t capacity, const char* placeholder, const char* value);
