#define TOML_HEADER_ONLY 1
#include "tools/tallowin/productdeclarations.hpp"

#include "tools/sacwriter/textcodec.hpp"

#include <set>

namespace tallowin {

namespace {

constexpr const char* kRegistryKeys[] = {"key", "name", "type", "value"};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Text(const toml::node& node, const std::string& field, std::u16string& out, std::string& error) {
    const auto value = node.value<std::string>();
    if (!node.is_string() || !value) {
        error = field + " must be a text";
        return false;
    }
    if (!sacwriter::Utf8ToUtf16(*value, out)) {
        error = field + " is not valid UTF-8";
        return false;
    }
    for (char16_t c : out)
        if (c < 0x20 || c == 0x7f) {
            error = field + " holds a control character";
            return false;
        }
    if (out.size() > payload::kMaxDeclarationText) {
        error = field + " is longer than 2,048 characters";
        return false;
    }
    return true;
}

bool ReadValue(const toml::node& node, const std::string& field, payload::RegistryDeclaration& d, std::string& error) {
    using payload::RegistryType;
    switch (d.type) {
        case RegistryType::String:
        case RegistryType::Expandable: {
            std::u16string text;
            if (!Text(node, field, text, error)) return false;
            d.texts = {text};
            return true;
        }
        case RegistryType::MultiString: {
            const toml::array* items = node.as_array();
            if (!items || items->size() > payload::kMaxMultiStringItems) {
                error = field + " must be a list of at most 64 texts";
                return false;
            }
            for (std::size_t i = 0; i < items->size(); ++i) {
                std::u16string text;
                if (!Text(*items->get(i), field + "[" + std::to_string(i) + "]", text, error)) return false;
                if (text.empty()) {
                    error = field + "[" + std::to_string(i) + "] is empty: an empty item would end the value";
                    return false;
                }
                d.texts.push_back(text);
            }
            return true;
        }
        case RegistryType::Dword:
        case RegistryType::Qword: {
            const auto number = node.value<std::int64_t>();
            const bool dword = d.type == RegistryType::Dword;
            if (!node.is_integer() || !number || *number < 0 || (dword && *number > 0xFFFFFFFFll)) {
                error = field + (dword ? " must be a whole number from 0 to 4294967295"
                                       : " must be a whole number from 0 to 9223372036854775807");
                return false;
            }
            d.number = static_cast<std::uint64_t>(*number);
            return true;
        }
        case RegistryType::Binary: {
            const auto hex = node.value<std::string>();
            if (!node.is_string() || !hex) {
                error = field + " must be a text of hex digits";
                return false;
            }
            // Pairs of hex digits; blanks between bytes are allowed.
            std::string digits;
            for (char c : *hex)
                if (c != ' ') digits += c;
            if (digits.size() % 2 != 0 || digits.size() / 2 > payload::kMaxDeclarationBinary) {
                error = field + " must be whole bytes of hex digits, at most 2,048";
                return false;
            }
            for (std::size_t i = 0; i < digits.size(); i += 2) {
                const int high = HexDigit(digits[i]), low = HexDigit(digits[i + 1]);
                if (high < 0 || low < 0) {
                    error = field + " must be a text of hex digits";
                    return false;
                }
                d.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
            }
            return true;
        }
    }
    return false;
}

bool ReadRegistry(const toml::table& t, const std::string& name, payload::RegistryDeclaration& d, std::string& error) {
    for (const auto& [key, node] : t) {
        bool known = false;
        for (const char* k : kRegistryKeys) known = known || key.str() == k;
        if (!known) {
            error = name + "." + std::string(key.str()) + " is not a known setting";
            return false;
        }
    }
    const toml::node* keynode = t.get("key");
    const toml::node* typenode = t.get("type");
    const toml::node* valuenode = t.get("value");
    if (!keynode || !typenode || !valuenode) {
        error = name + (!keynode ? ".key" : !typenode ? ".type" : ".value") + " is missing";
        return false;
    }
    const auto key = keynode->value<std::string>();
    if (!keynode->is_string() || !key) {
        error = name + ".key must be a text";
        return false;
    }
    std::string why;
    if (!payload::IsVendorKey(*key, &why)) {
        error = name + ".key \"" + *key + "\" " + why;
        return false;
    }
    d.key = *key;
    if (const toml::node* valuename = t.get("name")) {
        if (!Text(*valuename, name + ".name", d.name, error)) return false;
        if (!payload::IsDeclarableValueName(d.name)) {
            error = name + ".name must not hold a backslash";
            return false;
        }
    }
    const auto type = typenode->value<std::string>();
    if (!typenode->is_string() || !type || !payload::RegistryTypeFromName(*type, d.type)) {
        error = name + ".type must be one of string, expandable, dword, qword, multistring, binary";
        return false;
    }
    return ReadValue(*valuenode, name + ".value", d, error);
}

}  // namespace

bool LoadDeclarations(const toml::table& root, payload::Declarations& out, std::string& error) {
    out = {};
    if (const toml::node* node = root.get("registry")) {
        const toml::array* array = node->as_array();
        if (!array || !array->is_array_of_tables()) {
            error = "registry must be a list of tables ([[registry]])";
            return false;
        }
        if (array->size() > payload::kMaxRegistryDeclarations) {
            error = "registry: " + std::to_string(array->size()) + " given; an installer holds at most " +
                    std::to_string(payload::kMaxRegistryDeclarations);
            return false;
        }
        for (std::size_t i = 0; i < array->size(); ++i) {
            payload::RegistryDeclaration d;
            if (!ReadRegistry(*array->get(i)->as_table(), "registry[" + std::to_string(i) + "]", d, error)) return false;
            out.registry.push_back(std::move(d));
        }
    }
    if (const toml::node* node = root.get("startatsignin")) {
        if (const auto flag = node->value<bool>(); node->is_boolean() && flag) {
            out.startatsignin = *flag;
        } else if (node->is_string()) {
            if (!Text(*node, "startatsignin", out.signinarguments, error)) return false;
            out.startatsignin = true;
        } else {
            error = "startatsignin must be true, false or the program's arguments as a text";
            return false;
        }
    }
    std::string why;
    if (!out.Empty() && payload::FormatDeclarations(out, &why).empty()) {
        error = "the declarations cannot be carried: " + why;
        return false;
    }
    return true;
}

}  // namespace tallowin
