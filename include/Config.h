// The Config store: the settings and message texts read from the configuration
// block appended to the executable, and the typed getters through which every
// unit reads them. Filled once at start-up, read-only afterwards.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "BlockReader.h"

// Key constants, named as the configuration keys are.
namespace key {
#define TOVEX_KEY(number, name, kind, maxLength) constexpr int name = number;
#include "ConfigKeys.def"
#undef TOVEX_KEY
}  // namespace key

// Reads the block into the store and records includedFilesOffset. Ends the
// process with a fixed text when the block cannot be read.
void loadConfigBlock();

// Opens the executable for reading, sharing read and write access.
HANDLE openOwnExecutable();

// File position just behind the last wide record: where the included files begin.
uint32_t includedFilesOffset();

// Reads the block of an open executable into the store (emptied first).
ConfigReadResult readConfigBlock(HANDLE file);

// Record readers. false when the file ends early or the read fails.
bool readInt32(HANDLE file, int32_t* value);
char* readString(HANDLE file);
wchar_t* readWideString(HANDLE file);

// Getters. An absent key gives the empty text or 0; a value longer than the
// buffer is cut to fit.
void configString(int key, char* buffer, size_t capacity);
void configWideString(int key, wchar_t* buffer, size_t capacity);
int configInt(int key);
COLORREF configColour(int key);

// The atoi rules of configInt, on a text.
int parseConfigInt(const char* text);
// The red,green,blue rules of configColour, on a text.
COLORREF parseConfigColour(const char* text);
