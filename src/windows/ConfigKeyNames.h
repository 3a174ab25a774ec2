// The configuration keys by name, as include/ConfigKeys.def lists them: only
// the numbers, so that a unit may name a key without reading the store.
#pragma once

namespace key {
#define TOVEX_KEY(number, name, kind, maxLength) constexpr int name = number;
#include "ConfigKeys.def"
#undef TOVEX_KEY
}  // namespace key
