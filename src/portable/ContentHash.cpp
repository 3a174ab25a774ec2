// XXH64 with seed 0: four lanes of multiply and rotate over 32-byte stripes.
#include "ContentHash.h"

#include <cstring>

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

uint64_t rotateLeft(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

// Little-endian loads, as on every processor the launcher runs on; one move
// each (a byte loop made the whole hash four times slower on 32-bit x86).
uint64_t load64(const unsigned char* bytes) {
  uint64_t value;
  memcpy(&value, bytes, sizeof value);
  return value;
}

uint32_t load32(const unsigned char* bytes) {
  uint32_t value;
  memcpy(&value, bytes, sizeof value);
  return value;
}

uint64_t round(uint64_t lane, uint64_t input) { return rotateLeft(lane + input * kPrime2, 31) * kPrime1; }

uint64_t mergeRound(uint64_t accumulator, uint64_t lane) {
  return (accumulator ^ round(0, lane)) * kPrime1 + kPrime4;
}

void addStripe(uint64_t* lanes, const unsigned char* stripe) {
  for (int i = 0; i < 4; ++i) lanes[i] = round(lanes[i], load64(stripe + 8 * i));
}

}  // namespace

void startContentHash(ContentHash* hash) {
  hash->lanes[0] = kPrime1 + kPrime2;
  hash->lanes[1] = kPrime2;
  hash->lanes[2] = 0;
  hash->lanes[3] = 0 - kPrime1;
  hash->pendingSize = 0;
  hash->total = 0;
}

void addToContentHash(ContentHash* hash, const void* bytes, size_t size) {
  const unsigned char* next = static_cast<const unsigned char*>(bytes);
  hash->total += size;
  if (hash->pendingSize > 0) {
    size_t taken = sizeof hash->pending - hash->pendingSize;
    if (taken > size) taken = size;
    memcpy(hash->pending + hash->pendingSize, next, taken);
    hash->pendingSize += static_cast<uint32_t>(taken);
    next += taken;
    size -= taken;
    if (hash->pendingSize < sizeof hash->pending) return;
    addStripe(hash->lanes, hash->pending);
    hash->pendingSize = 0;
  }
  for (; size >= 32; next += 32, size -= 32) addStripe(hash->lanes, next);
  memcpy(hash->pending, next, size);
  hash->pendingSize = static_cast<uint32_t>(size);
}

uint64_t finishContentHash(const ContentHash& hash) {
  uint64_t result;
  if (hash.total >= 32) {
    const uint64_t* lanes = hash.lanes;
    result = rotateLeft(lanes[0], 1) + rotateLeft(lanes[1], 7) + rotateLeft(lanes[2], 12) + rotateLeft(lanes[3], 18);
    for (int i = 0; i < 4; ++i) result = mergeRound(result, lanes[i]);
  } else {
    result = kPrime5;
  }
  result += hash.total;
  const unsigned char* tail = hash.pending;
  uint32_t left = hash.pendingSize;
  for (; left >= 8; tail += 8, left -= 8) result = rotateLeft(result ^ round(0, load64(tail)), 27) * kPrime1 + kPrime4;
  if (left >= 4) {
    result = rotateLeft(result ^ (load32(tail) * kPrime1), 23) * kPrime2 + kPrime3;
    tail += 4;
    left -= 4;
  }
  for (; left > 0; ++tail, --left) result = rotateLeft(result ^ (*tail * kPrime5), 11) * kPrime1;
  result ^= result >> 33;
  result *= kPrime2;
  result ^= result >> 29;
  result *= kPrime3;
  result ^= result >> 32;
  return result;
}
