// What TreeDeletion.cpp offers its unit tests beyond its header: the steps the
// unit is made of.
#pragma once
#include <windows.h>

#include "TreeDeletion.h"

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
// entries is opened by name: where a test changes the directory's path, as
// another process could.
using BeforeEntryOpened = void (*)(const char* directory);

// emptyDirectory, calling beforeEntryOpened (unless null) before each entry
// of each held directory is opened.
void emptyDirectory(const char* path, BeforeEntryOpened beforeEntryOpened);
