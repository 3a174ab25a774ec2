// What DeletionQueue.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "DeletionQueue.h"

// What emptying a directory does with one of its entries, by the entry's
// attributes: a link is removed as the link (through a handle that holds the
// link itself; where only its path is known it is left), subdirectories are
// emptied and removed.
enum class EmptyingAction { removeLink, removeDirectory, deleteFile };
EmptyingAction emptyingAction(DWORD attributes);

// Entries a deletion run must never act on: empty, relative, a drive or share
// root, or one with "." or ".." components or wildcards.
bool isUnsafeQueueEntry(const char* path);

// Called while a directory is emptied through its handle, before each of its
// entries is opened by name (null: nothing is called).
void setBeforeEntryOpenedForTests(void (*hook)(const char* directory));
