// A fast 64-bit hash of a stream of bytes (the XXH64 algorithm, seed 0), for
// telling whether a file still holds the bytes it was written with. It finds
// damage and accidental change; it is no defence against a collision made on
// purpose. Portable: no system headers.
#pragma once
#include <cstddef>
#include <cstdint>

struct ContentHash {
  uint64_t lanes[4];
  unsigned char pending[32];  // bytes not yet making a whole 32-byte stripe
  uint32_t pendingSize;
  uint64_t total;
};

void startContentHash(ContentHash* hash);
void addToContentHash(ContentHash* hash, const void* bytes, size_t size);
// The hash of every byte added so far; the state stays usable.
uint64_t finishContentHash(const ContentHash& hash);
