// The Config store: the settings and message texts read from the configuration
// block appended to the executable, and the typed getters through which every
// unit reads them. The executable's own block is loaded once at start-up into
// the loaded store, read-only afterwards; the getters without a store read it.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <new>

#include "BlockReader.h"
#include "ConfigKeyNames.h"

// A record's text as the block reader allocates it.
struct ReleaseConfigText {
  void operator()(char* text) const { ::operator delete(text); }
};
using ConfigText = std::unique_ptr<char, ReleaseConfigText>;

// What one block holds for the launcher: its narrow records by key (a later
// record of a key replaces an earlier one) and where the included files begin.
// The wide records are read past: nothing in the launcher uses them.
struct ConfigStore {
  std::map<int, ConfigText> settings;
  uint32_t includedFilesOffset = 0;  // file position just behind the last wide record
};

// How loading the executable's own block ended. The block reader reports
// nothing itself: start-up shows the failure.
struct ConfigLoad {
  bool opened;                // false: the executable could not be opened
  ConfigReadResult result;    // of the read, when opened
  unsigned long systemError;  // GetLastError() right after the read
};

// Reads the executable's block into the loaded store.
ConfigLoad loadConfigBlock();

// Opens the executable for reading, sharing read and write access.
HANDLE openOwnExecutable();

// The loaded store's includedFilesOffset: where the included files begin.
uint32_t includedFilesOffset();

// The open file of this size as a source of positioned reads, a seek and a
// read each.
ByteSource fileByteSource(HANDLE file, uint32_t size);

// Reads the block of an open executable into the store, emptied first. What
// was read before a failure stays in it. Read whole, the file is left at the
// included files.
ConfigReadResult readConfigBlock(HANDLE file, ConfigStore* store);
// The same into the loaded store.
ConfigReadResult readConfigBlock(HANDLE file);

// A 32-bit little-endian integer at the file's position. false when the file
// ends early or the read fails.
bool readInt32(HANDLE file, int32_t* value);

// Getters, of the loaded store or of the one given. An absent key gives the
// empty text or 0; a value longer than the buffer is cut to fit.
void configString(int key, char* buffer, size_t capacity);
int configInt(int key);
COLORREF configColour(int key);
void configString(const ConfigStore& store, int key, char* buffer, size_t capacity);
int configInt(const ConfigStore& store, int key);
COLORREF configColour(const ConfigStore& store, int key);

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
