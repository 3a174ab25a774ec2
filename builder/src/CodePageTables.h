// Built-in tables of the single-byte Windows ANSI code pages.
#pragma once
#include <cstddef>

namespace tovex {

struct CodePageTable {
    int number;
    // Unicode code point of each byte 0x80..0xFF; 0 where the page has none.
    const char16_t* upperHalf;
};

extern const CodePageTable kCodePageTables[];
extern const std::size_t kCodePageTableCount;

// A letter of one of the code pages and its upper case.
struct CaseMapping {
    char16_t lower;
    char16_t upper;
};

// Sorted by `lower`.
extern const CaseMapping kUpperCaseMappings[];
extern const std::size_t kUpperCaseMappingCount;

}  // namespace tovex
