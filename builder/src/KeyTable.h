// The configuration keys the launcher knows, as listed in ConfigKeys.def.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace tovex {

enum class KeyKind { Text, Int, Switch, Colour, Flavour, Managed, Message };

struct KeyInfo {
    int32_t number;
    std::string_view name;
    KeyKind kind;
    int maxLength;  // most characters the launcher's buffer for the key holds
};

// Key numbers by name, e.g. key::includedFileCount.
namespace key {
#define TOVEX_KEY(number, name, kind, maxLength) constexpr int32_t name = number;
#include "ConfigKeys.def"
#undef TOVEX_KEY
}  // namespace key

const std::vector<KeyInfo>& allKeys();
const KeyInfo* findKeyByName(std::string_view name);
const KeyInfo* findKeyByNumber(int32_t number);

}  // namespace tovex
