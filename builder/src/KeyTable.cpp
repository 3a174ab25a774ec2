#include "KeyTable.h"

namespace tovex {

const std::vector<KeyInfo>& allKeys() {
    static const std::vector<KeyInfo> keys = {
#define TOVEX_KEY(number, name, kind, maxLength) {number, #name, KeyKind::kind, maxLength},
#include "ConfigKeys.def"
#undef TOVEX_KEY
    };
    return keys;
}

const KeyInfo* findKeyByName(std::string_view name) {
    for (const KeyInfo& key : allKeys())
        if (key.name == name) return &key;
    return nullptr;
}

const KeyInfo* findKeyByNumber(int32_t number) {
    for (const KeyInfo& key : allKeys())
        if (key.number == number) return &key;
    return nullptr;
}

}  // namespace tovex
