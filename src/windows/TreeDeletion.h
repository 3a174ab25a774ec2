// Deleting files and directory trees without following links: a directory is
// held open as itself while its entries are read, and each entry is checked
// to be the one listed before it is deleted through its own handle. Where the
// system lacks the handle functions (older systems) by path, links left.
#pragma once

// Whether the file can be opened for reading and writing with no sharing: no
// one else has it open.
bool canOpenExclusively(const char* path);

// Whether path is a link (a reparse point).
bool isReparsePoint(const char* path);

// Deletes everything inside a directory, subdirectories with their content,
// never following a link: a link inside is removed as the link; a link at
// path itself is left. The directory is opened once, as itself, and each
// entry checked to be the one its listing showed before it is deleted, so
// that nothing swapped in meanwhile is followed.
void emptyDirectory(const char* path);

// emptyDirectory, and then the directory itself is deleted.
void deleteDirectoryTree(const char* path);

// Deletes the file when no one else has it open: found through its held
// directory and checked to be the entry listed there.
void deleteUnsharedFile(const char* path);
