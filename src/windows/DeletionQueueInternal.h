// What DeletionQueue.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "DeletionQueue.h"

// What emptying a directory does with one of its entries, by the entry's
// attributes: links are left alone, subdirectories emptied and removed.
enum class EmptyingAction { leave, removeDirectory, deleteFile };
EmptyingAction emptyingAction(DWORD attributes);

// Entries a deletion run must never act on: empty, relative, a drive or share
// root, or one with "." or ".." components or wildcards.
bool isUnsafeQueueEntry(const char* path);
