// The PE layout the launcher relies on to find its configuration block: the
// block starts where the raw data of the fifth and last section (.rsrc) ends.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "ByteOrder.h"

namespace tovex {

// What is wrong with the headers of an image, or nothing when they have the
// launcher's layout. Does not look past the headers.
std::optional<std::string> findHeaderProblem(const Bytes& image);

// Offset just past the last section's raw data. The headers must be valid.
uint64_t endOfLastSection(const Bytes& image);

// Like findHeaderProblem, and also requires the file to end exactly where the
// last section does, so that appended data lands where the launcher looks.
std::optional<std::string> findStubProblem(const Bytes& stub);

}  // namespace tovex
