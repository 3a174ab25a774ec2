// Which deletion-queue entries a launcher acts on. The queue lives in the
// user's registry, where anyone running as the user can write to it: only
// what a launcher queues itself is accepted, the rest is dropped unread.
// Portable: no system headers, so that the filter can be fuzzed natively.
#pragma once
#include <string>
#include <string_view>
#include <vector>

// An extraction directory's own name: "tvx", one to four hexadecimal digits,
// ".tmp_dir" and one to twenty decimal digits (case of letters ignored).
bool isExtractionDirectoryName(std::string_view name);

// Whether path is an extraction directory directly inside one of
// tempLocations, written as a local drive path ("X:\...") with no empty,
// "." or ".." component and no character that a launcher never writes
// (wildcards, ":" after the drive, "/", ";", "<>|\"", control characters).
bool isQueuedDirectoryAccepted(std::string_view path, const std::vector<std::string>& tempLocations);

// Whether path is a file directly inside such an extraction directory, with a
// plain name that is no device name.
bool isQueuedFileAccepted(std::string_view path, const std::vector<std::string>& tempLocations);
