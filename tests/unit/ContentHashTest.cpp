#include "ContentHash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

uint64_t hashOf(const void* bytes, size_t size) {
  ContentHash hash;
  startContentHash(&hash);
  addToContentHash(&hash, bytes, size);
  return finishContentHash(hash);
}

// XXH64 with seed 0, as its reference implementation gives them.
TEST(ContentHash, MatchesTheReferenceValues) {
  EXPECT_EQ(hashOf("", 0), 0xEF46DB3751D8E999ull);
  EXPECT_EQ(hashOf("a", 1), 0xD24EC4F1A98C6E5Bull);
  EXPECT_EQ(hashOf("abc", 3), 0x44BC2CF5AD770999ull);
}

// Files arrive in blocks of any size: the split must not change the hash,
// around the 32-byte stripe and its 8- and 4-byte tails.
TEST(ContentHash, IsTheSameHoweverTheBytesAreSplit) {
  std::string bytes(1000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 256);
  for (size_t size : {size_t{31}, size_t{32}, size_t{45}, size_t{100}, size_t{1000}}) {
    uint64_t whole = hashOf(bytes.data(), size);
    for (size_t split = 0; split <= size; split += 3) {
      ContentHash hash;
      startContentHash(&hash);
      addToContentHash(&hash, bytes.data(), split);
      addToContentHash(&hash, bytes.data() + split, (size - split) / 2);
      addToContentHash(&hash, bytes.data() + split + (size - split) / 2, size - split - (size - split) / 2);
      EXPECT_EQ(finishContentHash(hash), whole) << size << " split at " << split;
    }
  }
}

TEST(ContentHash, OneChangedBitChangesIt) {
  std::string bytes(5000, 'x');
  uint64_t original = hashOf(bytes.data(), bytes.size());
  for (size_t at : {size_t{0}, size_t{31}, size_t{4990}, size_t{4999}}) {
    std::string changed = bytes;
    changed[at] = static_cast<char>(changed[at] ^ 1);
    EXPECT_NE(hashOf(changed.data(), changed.size()), original) << at;
  }
}

}  // namespace
