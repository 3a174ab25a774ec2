// What ErrorReport.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "ErrorReport.h"

void showError(const char* text);

bool messageBoxesOn();
// The window that owns error message boxes, or nullptr.
HWND messageOwnerWindow();

// Replaces the first occurrence of placeholder in text by value, into out.
void replacePlaceholder(char* out, size_t capacity, const char* text, const char* placeholder,
                        const char* value);

// The text as shown: with "\n\nLog: " and the log's long path when a log path is given.
void composeErrorMessage(char* out, size_t capacity, const char* text, const char* logPath);
