// The check of an application manifest before it goes into the executable:
// Windows refuses to start a program whose manifest is not well-formed XML
// (a side-by-side configuration error), so the user would find out only on
// Windows. A small XML well-formedness checker, no more than that needs.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "ByteOrder.h"

namespace tovex {

// Manifests are a few kilobytes; anything this large is no manifest.
constexpr std::size_t kMaxManifestBytes = 1 << 20;

struct ManifestProblem {
    int line;    // 1-based; 0 for the file as a whole
    int column;  // 1-based, in bytes of the line; 0 when unknown
    std::string message;
};

// Why the bytes are no usable application manifest, or nothing: not
// well-formed XML (UTF-8, or UTF-16 with a byte order mark), a DTD, a root
// other than `assembly` in the namespace urn:schemas-microsoft-com:asm.v1,
// more than kMaxManifestBytes.
std::optional<ManifestProblem> manifestProblem(const Bytes& manifest);

}  // namespace tovex
