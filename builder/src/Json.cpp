#include "Json.h"

#include <cstdio>

namespace tovex {

std::string quotedWithEscapes(std::string_view utf8, const char* controlFormat, bool escapeDelete) {
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || (escapeDelete && c == 0x7F)) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, controlFormat, static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string jsonString(std::string_view utf8) { return quotedWithEscapes(utf8, "\\u%04x", false); }

}  // namespace tovex
