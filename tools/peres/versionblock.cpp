#include "tools/peres/versionblock.hpp"

#include "tools/peres/peimage.hpp"

#include <algorithm>

namespace peres {

namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;

void Pad4(std::vector<std::uint8_t>& b) {
    while (b.size() % 4) b.push_back(0);
}

void AppendText(std::vector<std::uint8_t>& b, const std::u16string& text) {
    for (char16_t c : text) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    b.push_back(0);
    b.push_back(0);
}

// One node: length, value length, type, key, padding, value, padding,
// children (each starting on a 4-byte boundary).  The length covers all of
// it but the padding after the last child.
std::vector<std::uint8_t> Node(const std::u16string& key, const std::vector<std::uint8_t>& value,
                               std::uint16_t valuelength, bool text,
                               const std::vector<std::vector<std::uint8_t>>& children) {
    std::vector<std::uint8_t> b(6, 0);
    AppendText(b, key);
    Pad4(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const auto& child : children) {
        Pad4(b);
        b.insert(b.end(), child.begin(), child.end());
    }
    Put16(b, 0, static_cast<std::uint16_t>(b.size()));
    Put16(b, 2, valuelength);
    Put16(b, 4, text ? 1 : 0);
    return b;
}

std::u16string Hex4(std::uint16_t v) {
    const char16_t* digits = u"0123456789ABCDEF";
    std::u16string s;
    for (int shift = 12; shift >= 0; shift -= 4) s.push_back(digits[(v >> shift) & 0xF]);
    return s;
}

struct Parsed {
    std::u16string key;
    std::size_t value = 0, valuebytes = 0, children = 0, end = 0;
};

// The node at `at` inside [0, limit); false when it does not fit.
bool ParseNode(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t limit, bool bytevalue, Parsed& node) {
    if (at + 6 > limit) return false;
    const std::size_t length = Get16(b, at);
    const std::size_t valuelength = Get16(b, at + 2);
    const bool text = Get16(b, at + 4) == 1;
    if (length < 6 || at + length > limit) return false;
    node.end = at + length;
    std::size_t p = at + 6;
    node.key.clear();
    for (;; p += 2) {
        if (p + 2 > node.end) return false;
        const char16_t c = Get16(b, p);
        if (c == 0) break;
        node.key.push_back(c);
    }
    p = (p + 2 + 3) / 4 * 4;
    node.value = p;
    node.valuebytes = text && !bytevalue ? valuelength * 2 : valuelength;
    if (node.valuebytes > node.end - std::min(node.end, p)) return false;
    node.children = (p + node.valuebytes + 3) / 4 * 4;
    return true;
}

}  // namespace

std::array<std::uint16_t, 4> VersionNumbers(const std::string& text) {
    std::array<std::uint16_t, 4> numbers{};
    std::size_t i = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') break;
        std::uint32_t value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = std::min<std::uint32_t>(value * 10 + static_cast<std::uint32_t>(text[i] - '0'), 65535);
            ++i;
        }
        numbers[part] = static_cast<std::uint16_t>(value);
        if (i + 1 >= text.size() || text[i] != '.' || text[i + 1] < '0' || text[i + 1] > '9') break;
        ++i;
    }
    return numbers;
}

std::vector<std::uint8_t> BuildVersionBlock(const VersionInfo& info) {
    std::vector<std::uint8_t> fixed(52, 0);
    const auto ms = [](const std::array<std::uint16_t, 4>& v) { return static_cast<std::uint32_t>(v[0]) << 16 | v[1]; };
    const auto ls = [](const std::array<std::uint16_t, 4>& v) { return static_cast<std::uint32_t>(v[2]) << 16 | v[3]; };
    Put32(fixed, 0, kFixedSignature);
    Put32(fixed, 4, 0x00010000);
    Put32(fixed, 8, ms(info.fileversion));
    Put32(fixed, 12, ls(info.fileversion));
    Put32(fixed, 16, ms(info.productversion));
    Put32(fixed, 20, ls(info.productversion));
    Put32(fixed, 24, 0x3F);       // VS_FFI_FILEFLAGSMASK
    Put32(fixed, 32, 0x00040004);  // VOS_NT_WINDOWS32
    Put32(fixed, 36, 1);           // VFT_APP

    std::vector<std::vector<std::uint8_t>> strings;
    for (const auto& [key, value] : info.strings) {
        if (value.empty()) continue;
        std::vector<std::uint8_t> text;
        AppendText(text, value);
        strings.push_back(Node(key, text, static_cast<std::uint16_t>(value.size() + 1), true, {}));
    }
    const std::vector<std::uint8_t> table = Node(Hex4(info.language) + Hex4(info.codepage), {}, 0, true, strings);
    const std::vector<std::uint8_t> stringinfo = Node(u"StringFileInfo", {}, 0, true, {table});
    std::vector<std::uint8_t> translation(4, 0);
    Put16(translation, 0, info.language);
    Put16(translation, 2, info.codepage);
    const std::vector<std::uint8_t> var = Node(u"Translation", translation, 4, false, {});
    const std::vector<std::uint8_t> varinfo = Node(u"VarFileInfo", {}, 0, true, {var});
    return Node(u"VS_VERSION_INFO", fixed, 52, false, {stringinfo, varinfo});
}

bool ParseVersionBlock(const std::vector<std::uint8_t>& b, VersionInfo& info) {
    info = VersionInfo{};
    Parsed root;
    if (!ParseNode(b, 0, b.size(), true, root) || root.key != u"VS_VERSION_INFO" || root.valuebytes != 52 ||
        Get32(b, root.value) != kFixedSignature)
        return false;
    const auto numbers = [&](std::size_t at) {
        const std::uint32_t hi = Get32(b, at), lo = Get32(b, at + 4);
        return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(hi >> 16), static_cast<std::uint16_t>(hi),
                                            static_cast<std::uint16_t>(lo >> 16), static_cast<std::uint16_t>(lo)};
    };
    info.fileversion = numbers(root.value + 8);
    info.productversion = numbers(root.value + 16);
    for (std::size_t at = root.children; at < root.end;) {
        Parsed child;
        if (!ParseNode(b, at, root.end, false, child)) return false;
        if (child.key == u"StringFileInfo" && child.children < child.end) {
            Parsed table;
            if (!ParseNode(b, child.children, child.end, false, table)) return false;
            for (std::size_t s = table.children; s < table.end;) {
                Parsed entry;
                if (!ParseNode(b, s, table.end, false, entry)) return false;
                std::u16string value;
                for (std::size_t p = entry.value; p + 2 <= entry.value + entry.valuebytes; p += 2) {
                    const char16_t c = Get16(b, p);
                    if (c == 0) break;
                    value.push_back(c);
                }
                info.strings.emplace_back(entry.key, value);
                s = (entry.end + 3) / 4 * 4;
            }
        }
        at = (child.end + 3) / 4 * 4;
    }
    return true;
}

std::u16string VersionString(const VersionInfo& info, const std::u16string& key) {
    for (const auto& [k, v] : info.strings)
        if (k == key) return v;
    return {};
}

}  // namespace peres
