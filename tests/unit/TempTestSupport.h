// Helpers of the temporary-file, extraction and deletion-queue tests: scratch
// directories, whole-file reads and writes, the log, and the queue's key.
#pragma once
#include <string>

// A new empty directory in the system temporary path, without a trailing
// backslash; its name carries label, the process id and a counter.
std::string makeScratchDirectory(const char* label);

// A new empty directory in the system temporary path named as the launcher
// names its extraction directories ("tvxNNNN.tmp_dirN"), so that the deletion
// queue accepts it and the files in it.
std::string makeExtractionShapedDirectory();

// Removes a scratch directory and everything in it (files, subdirectories).
void removeScratchDirectory(const std::string& path);

bool pathExists(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& bytes);
std::string readWholeFile(const std::string& path);

// The system temporary path, ending with a backslash.
std::string systemTempPath();

// The log file's text so far; empty while logging is off.
std::string logText();

// The deletion queue's registry key under HKEY_CURRENT_USER. Every test
// program with these helpers keeps the launcher's keys below a key of its own
// (TestRegistryRoot), removed when it ends.
std::string queueKeyPath();

void deleteQueueKey();
bool queueKeyExists();
// The value's bytes exactly as long as the registry reports them; false when absent.
bool readRawQueueValue(const char* name, std::string* bytes);
// Writes the value as the launcher does: REG_SZ, no terminator. Creates the key.
void writeRawQueueValue(const char* name, const std::string& text);
