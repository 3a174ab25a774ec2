// The Config store: the settings and message texts read from the configuration
// block appended to the executable, and the typed getters through which every
// unit reads them. Filled once at start-up, read-only afterwards.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "BlockReader.h"
#include "ConfigKeyNames.h"

// How loading the executable's own block ended. The block reader reports
// nothing itself: start-up shows the failure.
struct ConfigLoad {
  bool opened;                // false: the executable could not be opened
  ConfigReadResult result;    // of the read, when opened
  unsigned long systemError;  // GetLastError() right after the read
};

// Reads the executable's block into the store and records includedFilesOffset.
ConfigLoad loadConfigBlock();

// Opens the executable for reading, sharing read and write access.
HANDLE openOwnExecutable();

// File position just behind the last wide record: where the included files begin.
uint32_t includedFilesOffset();

// The open file of this size as a source of positioned reads, a seek and a
// read each.
ByteSource fileByteSource(HANDLE file, uint32_t size);

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

// Key 107, the kind of executable: 1 is the one GUI value; 5 is a console
// executable that keeps message boxes; any other value, an absent key
// included, a console executable whose errors go to the standard error stream.
enum class ExecutableType : int { gui = 1, consoleWithMessageBoxes = 5 };
bool isGuiExecutable();
bool keepsMessageBoxes();

// Whether the block switches the modern runtime search on (key 3001).
bool modernRuntimeSearch();

// The atoi rules of configInt, on a text.
int parseConfigInt(const char* text);
// The red,green,blue rules of configColour, on a text.
COLORREF parseConfigColour(const char* text);
