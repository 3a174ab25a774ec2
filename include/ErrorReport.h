// Reporting a failure to the user: a message box, or a line on the standard
// error stream when message boxes are off. The fatal variants end the process.
#pragma once
#include <windows.h>

#include <cstddef>

// Message keys and the placeholders their texts may hold.
constexpr const char* kErrorCodePlaceholder = "%ERROR_CODE%";
constexpr const char* kEnvVarNamePlaceholder = "%ENV_VAR_NAME%";
constexpr const char* kFileNamePlaceholder = "%FILE_NAME%";
constexpr const char* kDefinedPathPlaceholder = "%DEFINED_PATH%";

void showError(const char* text);
void showErrorKey(int key, const char* placeholder = nullptr, const char* value = nullptr);
[[noreturn]] void fatalError(const char* text);
[[noreturn]] void fatalErrorKey(int key, const char* placeholder = nullptr, const char* value = nullptr);
[[noreturn]] void exitLauncher(int code);

void setQuiet();
bool messageBoxesOn();
void setMessageOwner(HWND window);
// The window that owns error message boxes, or nullptr.
HWND messageOwnerWindow();

// Replaces the first occurrence of placeholder in text by value, into out.
void replacePlaceholder(char* out, size_t capacity, const char* text, const char* placeholder,
                        const char* value);

// The text as shown: with "\n\nLog: " and the log's long path when a log path is given.
void composeErrorMessage(char* out, size_t capacity, const char* text, const char* logPath);
