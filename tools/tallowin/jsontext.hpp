// JSON string literals for the tools' --json output.
#pragma once

#include <string>

namespace tallowin {

// `text` (UTF-8) as a quoted JSON string.
inline std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (b < 0x20) {
                    static const char hex[] = "0123456789abcdef";
                    out += "\\u00";
                    out += hex[b >> 4];
                    out += hex[b & 15];
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

}  // namespace tallowin
