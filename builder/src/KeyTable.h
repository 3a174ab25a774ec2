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

const std::vector<KeyInfo>& allKeys();
const KeyInfo* findKeyByName(std::string_view name);
const KeyInfo* findKeyByNumber(int32_t number);

}  // namespace tovex
