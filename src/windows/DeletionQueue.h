// The per-user queue of temporary files and directories that a later start of
// the launcher deletes: while a run uses its files it cannot delete them, so it
// leaves them to the next one.
//
// The queue lives under HKEY_CURRENT_USER\SOFTWARE\morrowfield\tovex\temp\ (RegistryKeys.h) in
// two REG_SZ values, "delete_file" and "delete_dir", each a list of paths
// followed by ";". Launchers of the same user serialise their changes to it.
#pragma once
#include <windows.h>

// The deletion itself, never through a link (canOpenExclusively, emptyDirectory).
#include "TreeDeletion.h"

// Registers a directory of this run for queueing.
void registerTempDirectory(const char* path);

// Takes a directory off the list again: it stays where it is.
void unregisterTempDirectory(const char* path);

// Writes this run's registered temporary directories to the queue. The list
// stays: every call queues them again.
void queueRegisteredTemps();

// Appends path to the queue value valueName ("delete_file" or "delete_dir"),
// unless the value would grow past 32767 bytes or the path holds a ";".
void scheduleForDeletion(const char* path, const char* valueName);

// Deletes what the queue names and keeps what is still there. Creates no key.
// Only what a launcher queues is acted on (see QueueEntries.h), never through
// a link below the temporary location; the rest is dropped. An entry still there and unchanged for 30
// days is given up, and each value keeps room for one more entry.
void processDeletionQueue();
