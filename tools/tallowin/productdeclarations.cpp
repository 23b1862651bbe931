#define TOML_HEADER_ONLY 1
#include "tools/tallowin/productdeclarations.hpp"

#include "tools/sacwriter/textcodec.hpp"

#include "payload/texttable.hpp"

#include <algorithm>
#include <set>

namespace tallowin {

namespace {

constexpr const char* kRegistryKeys[] = {"key", "name", "type", "value", "task"};
constexpr const char* kTaskKeys[] = {"name", "text", "default"};
constexpr const char* kFileTypeKeys[] = {"progid", "description", "extensions", "icon", "iconindex", "program",
                                         "arguments", "verbs", "task"};
constexpr const char* kVerbKeys[] = {"verb", "program", "arguments"};
constexpr const char* kProtocolKeys[] = {"scheme", "description", "program", "arguments", "task"};
constexpr char16_t kDefaultArguments[] = u"\"%1\"";

template <std::size_t N>
bool OnlyKnown(const toml::table& t, const std::string& name, const char* const (&keys)[N], std::string& error) {
    for (const auto& [key, node] : t) {
        bool known = false;
        for (const char* k : keys) known = known || key.str() == k;
        if (!known) {
            error = name + "." + std::string(key.str()) + " is not a known setting";
            return false;
        }
    }
    return true;
}

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

// An ASCII setting (`optional`: may be missing, leaving `out` as it is).
bool Ascii(const toml::table& t, const std::string& name, const char* key, bool optional, std::string& out,
           std::string& error) {
    const toml::node* node = t.get(key);
    if (!node) {
        if (!optional) error = name + "." + key + " is missing";
        return optional;
    }
    const auto value = node->value<std::string>();
    if (!node->is_string() || !value) {
        error = name + "." + key + " must be a text";
        return false;
    }
    out = *value;
    return true;
}

bool WideText(const toml::table& t, const std::string& name, const char* key, bool optional, std::u16string& out,
              std::string& error) {
    const toml::node* node = t.get(key);
    if (!node) {
        if (!optional) error = name + "." + key + " is missing";
        return optional;
    }
    return Text(*node, name + "." + key, out, error);
}

// A path of the product's files, "/" or "\" between names.
bool ProductPath(const toml::table& t, const std::string& name, const char* key, bool optional, std::u16string& out,
                 std::string& error) {
    if (!WideText(t, name, key, optional, out, error)) return false;
    std::replace(out.begin(), out.end(), u'/', u'\\');
    return true;
}

bool ReadTask(const toml::table& t, const std::string& name, std::string& task, std::string& error) {
    return Ascii(t, name, "task", true, task, error);
}

bool ReadRegistry(const toml::table& t, const std::string& name, payload::RegistryDeclaration& d, std::string& error) {
    if (!OnlyKnown(t, name, kRegistryKeys, error) || !ReadTask(t, name, d.task, error)) return false;
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

// A list of tables ([[name]]) of at most `bound`, each read by `read`.
template <typename Read>
bool Tables(const toml::table& root, const char* key, std::size_t bound, std::string& error, Read read) {
    const toml::node* node = root.get(key);
    if (!node) return true;
    const toml::array* array = node->as_array();
    if (!array || !array->is_array_of_tables()) {
        error = std::string(key) + " must be a list of tables ([[" + key + "]])";
        return false;
    }
    if (array->size() > bound) {
        error = std::string(key) + ": " + std::to_string(array->size()) + " given; an installer holds at most " +
                std::to_string(bound);
        return false;
    }
    for (std::size_t i = 0; i < array->size(); ++i)
        if (!read(*array->get(i)->as_table(), std::string(key) + "[" + std::to_string(i) + "]")) return false;
    return true;
}

bool ReadCommand(const toml::table& t, const std::string& name, std::u16string& program, std::u16string& arguments,
                 std::string& error) {
    arguments = kDefaultArguments;
    return ProductPath(t, name, "program", false, program, error) &&
           WideText(t, name, "arguments", true, arguments, error);
}

bool ReadFileType(const toml::table& t, const std::string& name, payload::FileTypeDeclaration& f, std::string& error) {
    if (!OnlyKnown(t, name, kFileTypeKeys, error) || !Ascii(t, name, "progid", false, f.progid, error) ||
        !WideText(t, name, "description", false, f.description, error) ||
        !ProductPath(t, name, "icon", true, f.icon, error) || !ReadTask(t, name, f.task, error))
        return false;
    if (!payload::IsProgId(f.progid)) {
        error = name + ".progid \"" + f.progid +
                "\" is not a ProgID the registry takes: letters, digits and dots, with a dot (Vendor.Type.1), at most 39";
        return false;
    }
    if (const toml::node* index = t.get("iconindex")) {
        const auto number = index->value<std::int64_t>();
        if (!index->is_integer() || !number || *number < -65535 || *number > 65535) {
            error = name + ".iconindex must be a whole number from -65535 to 65535";
            return false;
        }
        f.iconindex = static_cast<std::int32_t>(*number);
    }
    const toml::array* extensions = t.get("extensions") ? t.get("extensions")->as_array() : nullptr;
    if (!extensions || extensions->empty() || extensions->size() > payload::kMaxExtensionsPerType) {
        error = name + ".extensions must be a list of 1 to 16 extensions ([\".vtr\"])";
        return false;
    }
    for (const toml::node& element : *extensions) {
        const auto text = element.value<std::string>();
        std::string extension = text ? *text : std::string();
        for (char& c : extension) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (!element.is_string() || !payload::IsExtension(extension)) {
            error = name + ".extensions: \"" + extension +
                    "\" is not an extension a product may take (a dot, then letters, digits, _ or -; not one the "
                    "system runs or opens, such as .exe, .lnk, .bat)";
            return false;
        }
        f.extensions.push_back(extension);
    }
    payload::VerbDeclaration open{"open", {}, {}};
    if (!ReadCommand(t, name, open.program, open.arguments, error)) return false;
    f.verbs.push_back(std::move(open));
    return Tables(t, "verbs", payload::kMaxVerbsPerType - 1, error, [&](const toml::table& v, const std::string& where) {
        payload::VerbDeclaration verb;
        if (!OnlyKnown(v, name + "." + where, kVerbKeys, error) ||
            !Ascii(v, name + "." + where, "verb", false, verb.verb, error) ||
            !ReadCommand(v, name + "." + where, verb.program, verb.arguments, error))
            return false;
        if (!payload::IsVerbName(verb.verb)) {
            error = name + "." + where + ".verb must be a word of ASCII letters and digits (print, edit)";
            return false;
        }
        f.verbs.push_back(std::move(verb));
        return true;
    });
}

bool ReadProtocol(const toml::table& t, const std::string& name, payload::ProtocolDeclaration& p, std::string& error) {
    if (!OnlyKnown(t, name, kProtocolKeys, error) || !Ascii(t, name, "scheme", false, p.scheme, error) ||
        !WideText(t, name, "description", false, p.description, error) ||
        !ReadCommand(t, name, p.program, p.arguments, error) || !ReadTask(t, name, p.task, error))
        return false;
    if (!payload::IsScheme(p.scheme)) {
        error = name + ".scheme \"" + p.scheme +
                "\" is not a scheme a product may own: lower-case letters, digits, + - ., two or more, and not one of "
                "the system's or the web's (http, file, mailto, ms-...)";
        return false;
    }
    return true;
}

bool Flag(const toml::table& t, const std::string& name, const char* key, bool& out, std::string& error) {
    const toml::node* node = t.get(key);
    if (!node) return true;
    const auto value = node->value<bool>();
    if (!node->is_boolean() || !value) {
        error = name + "." + key + " must be true or false";
        return false;
    }
    out = *value;
    return true;
}

// `successcodes`: a list of whole numbers from 0 to 4294967295; [0] when not given.
bool SuccessCodes(const toml::table& t, const std::string& name, std::vector<std::uint32_t>& codes, std::string& error) {
    codes = {0};
    const toml::node* node = t.get("successcodes");
    if (!node) return true;
    const toml::array* items = node->as_array();
    if (!items || items->empty() || items->size() > payload::kMaxSuccessCodes) {
        error = name + ".successcodes must be a list of 1 to 16 exit codes";
        return false;
    }
    codes.clear();
    for (std::size_t i = 0; i < items->size(); ++i) {
        const auto code = items->get(i)->value<std::int64_t>();
        if (!items->get(i)->is_integer() || !code || *code < 0 || *code > 0xFFFFFFFFll) {
            error = name + ".successcodes[" + std::to_string(i) + "] must be a whole number from 0 to 4294967295";
            return false;
        }
        if (std::find(codes.begin(), codes.end(), static_cast<std::uint32_t>(*code)) == codes.end())
            codes.push_back(static_cast<std::uint32_t>(*code));
    }
    return true;
}

// [[prerequisites]]: file (on the build machine, relative to the product
// file), caption, arguments, unattendedarguments, successcodes,
// strictcodes, check = { registry = "HKLM\...", value = "...",
// minversion = "..." } or { file = "{sys}\...", minversion = "..." }.
bool ReadPrerequisite(const toml::table& t, const std::string& name, payload::PrerequisiteDeclaration& p,
                      std::string& source, std::string& error) {
    static constexpr const char* kKeys[] = {"file", "caption", "arguments", "unattendedarguments", "successcodes",
                                            "strictcodes", "check"};
    bool strict = false;
    if (!OnlyKnown(t, name, kKeys, error) || !Ascii(t, name, "file", false, source, error) ||
        !WideText(t, name, "caption", false, p.caption, error) ||
        !WideText(t, name, "arguments", true, p.arguments, error) ||
        !WideText(t, name, "unattendedarguments", true, p.unattendedarguments, error) ||
        !SuccessCodes(t, name, p.successcodes, error) || !Flag(t, name, "strictcodes", strict, error))
        return false;
    // Windows' own "restart needed" and "a newer version is installed" are
    // success unless the vendor counts them as failures.
    if (!strict)
        for (std::uint32_t code : {payload::kExitCodeRestartNeeded, payload::kExitCodeNewerInstalled})
            if (std::find(p.successcodes.begin(), p.successcodes.end(), code) == p.successcodes.end() &&
                p.successcodes.size() < payload::kMaxSuccessCodes)
                p.successcodes.push_back(code);
    const std::size_t slash = source.find_last_of("/\\");
    if (!sacwriter::Utf8ToUtf16(slash == std::string::npos ? source : source.substr(slash + 1), p.file) ||
        !payload::IsProductRelativePath(p.file, false)) {
        error = name + ".file \"" + source + "\" does not end in a file name an archive can carry";
        return false;
    }
    if (p.caption.empty()) {
        error = name + ".caption is empty: the progress page and an error name the prerequisite by it";
        return false;
    }
    const toml::node* checknode = t.get("check");
    if (!checknode) return true;
    const toml::table* check = checknode->as_table();
    const std::string field = name + ".check";
    static constexpr const char* kCheckKeys[] = {"registry", "value", "file", "minversion"};
    if (!check || !OnlyKnown(*check, field, kCheckKeys, error)) {
        if (error.empty()) error = field + " must be a table: { registry = \"HKLM\\\\...\", value = \"...\" } or { file = \"...\" }";
        return false;
    }
    if (check->contains("registry") == check->contains("file")) {
        error = field + " names either a registry key or a file";
        return false;
    }
    if (!Ascii(*check, field, "minversion", true, p.minversion, error)) return false;
    if (!p.minversion.empty() && !payload::IsVersionText(p.minversion)) {
        error = field + ".minversion \"" + p.minversion + "\" must be numbers separated by dots (\"14.38\")";
        return false;
    }
    if (check->contains("registry")) {
        p.check = payload::PrerequisiteCheck::Registry;
        if (!WideText(*check, field, "registry", false, p.where, error) ||
            !WideText(*check, field, "value", true, p.name, error))
            return false;
        std::replace(p.where.begin(), p.where.end(), u'/', u'\\');
        if (!payload::IsCheckKey(p.where)) {
            error = field + ".registry must begin with HKLM\\ or HKCU\\ and name a key";
            return false;
        }
        if (!payload::IsDeclarableValueName(p.name)) {
            error = field + ".value cannot be carried";
            return false;
        }
    } else {
        p.check = payload::PrerequisiteCheck::File;
        if (check->contains("value")) {
            error = field + ".value belongs to a registry check";
            return false;
        }
        if (!WideText(*check, field, "file", false, p.where, error)) return false;
    }
    return true;
}

// [[run]]: when, program, arguments, wait, successcodes, failonerror, hidden, elevated.
bool ReadRun(const toml::table& t, const std::string& name, payload::RunDeclaration& r, std::string& error) {
    static constexpr const char* kKeys[] = {"when", "program", "arguments", "wait", "successcodes", "failonerror",
                                            "hidden", "elevated"};
    std::string when;
    if (!OnlyKnown(t, name, kKeys, error) || !Ascii(t, name, "when", false, when, error) ||
        !ProductPath(t, name, "program", false, r.program, error) ||
        !WideText(t, name, "arguments", true, r.arguments, error) || !SuccessCodes(t, name, r.successcodes, error) ||
        !Flag(t, name, "wait", r.wait, error) || !Flag(t, name, "failonerror", r.failonerror, error) ||
        !Flag(t, name, "hidden", r.hidden, error) || !Flag(t, name, "elevated", r.elevated, error))
        return false;
    if (!payload::RunWhenFromName(when, r.when)) {
        error = name + ".when must be \"afterinstall\", \"beforeuninstall\" or \"afterupdate\"";
        return false;
    }
    if (r.failonerror && !r.wait) {
        error = name + ".failonerror needs wait = true: a program not waited for has no exit code yet";
        return false;
    }
    return true;
}

bool ReadTaskTable(const toml::table& t, const std::string& name, payload::TaskDeclaration& task, std::string& error) {
    if (!OnlyKnown(t, name, kTaskKeys, error) || !Ascii(t, name, "name", false, task.name, error) ||
        !WideText(t, name, "text", task.name == payload::kDesktopIconTask, task.text, error))
        return false;
    if (!payload::IsTaskName(task.name)) {
        error = name + ".name \"" + task.name + "\" must be a lower-case letter, then lower-case letters, digits or _";
        return false;
    }
    if (const toml::node* checked = t.get("default")) {
        if (!checked->is_boolean()) {
            error = name + ".default must be true or false";
            return false;
        }
        task.checked = *checked->value<bool>();
    }
    return true;
}

// [texts.<code>.tasks] <task> = "caption": the tasks' captions in the
// vendor's other languages.
bool ReadTaskTexts(const toml::table& root, payload::Declarations& out, std::string& error) {
    const toml::table* texts = root.get("texts") ? root.get("texts")->as_table() : nullptr;
    if (!texts) return true;
    for (const auto& [code, table] : *texts) {
        const toml::table* language = table.as_table();
        const toml::node* tasks = language ? language->get("tasks") : nullptr;
        if (!tasks) continue;
        const std::string field = "texts." + std::string(code.str()) + ".tasks";
        if (!tasks->is_table()) {
            error = field + " must be a table of task captions";
            return false;
        }
        const std::string canonical = payload::CanonicalLanguageCode(std::string(code.str()));
        for (const auto& [key, caption] : *tasks->as_table()) {
            const std::string taskname(key.str());
            const auto task = std::find_if(out.tasks.begin(), out.tasks.end(),
                                           [&](const payload::TaskDeclaration& t) { return t.name == taskname; });
            if (task == out.tasks.end()) {
                error = field + "." + taskname + " names no task of [[tasks]]";
                return false;
            }
            std::u16string text;
            if (!Text(caption, field + "." + taskname, text, error)) return false;
            if (!text.empty() && !canonical.empty()) task->texts.emplace_back(canonical, text);
        }
    }
    return true;
}

// `path`: a list of the product's folders, each a text or a table
// { folder = "bin", task = "path" }; "" or "." is the program folder itself.
bool ReadPath(const toml::table& root, payload::Declarations& out, std::string& error) {
    const toml::node* node = root.get("path");
    if (!node) return true;
    const toml::array* array = node->as_array();
    if (!array || array->size() > payload::kMaxPathDeclarations) {
        error = "path must be a list of at most 16 folders of the product ([\"bin\"])";
        return false;
    }
    for (std::size_t i = 0; i < array->size(); ++i) {
        const std::string name = "path[" + std::to_string(i) + "]";
        payload::PathDeclaration p;
        const toml::node& element = *array->get(i);
        if (const toml::table* t = element.as_table()) {
            static constexpr const char* kPathKeys[] = {"folder", "task"};
            if (!OnlyKnown(*t, name, kPathKeys, error) || !ProductPath(*t, name, "folder", false, p.folder, error) ||
                !ReadTask(*t, name, p.task, error))
                return false;
        } else if (!Text(element, name, p.folder, error)) {
            return false;
        }
        std::replace(p.folder.begin(), p.folder.end(), u'/', u'\\');
        if (p.folder == u"." || p.folder == u"\\") p.folder.clear();
        while (!p.folder.empty() && p.folder.back() == u'\\') p.folder.pop_back();
        if (!payload::IsProductRelativePath(p.folder, true)) {
            error = name + " \"" + sacwriter::Utf16ToUtf8(p.folder) +
                    "\" is not a folder of the product: a path relative to the program folder, without .. or a drive";
            return false;
        }
        out.path.push_back(std::move(p));
    }
    return true;
}

// [environment] NAME = "value" or NAME = { value = "...", task = "..." }.
bool ReadEnvironment(const toml::table& root, payload::Declarations& out, std::string& error) {
    const toml::node* node = root.get("environment");
    if (!node) return true;
    const toml::table* table = node->as_table();
    if (!table || table->size() > payload::kMaxEnvironmentDeclarations) {
        error = "environment must be a table of at most 32 variables ([environment] NAME = \"{app}\")";
        return false;
    }
    for (const auto& [key, value] : *table) {
        const std::string name = "environment." + std::string(key.str());
        payload::EnvironmentDeclaration e;
        if (!sacwriter::Utf8ToUtf16(std::string(key.str()), e.name) || !payload::IsEnvironmentName(e.name)) {
            error = name + ": a variable's name is letters, digits and _, and not one the system sets (PATH, TEMP, "
                           "SystemRoot...)";
            return false;
        }
        if (const toml::table* t = value.as_table()) {
            static constexpr const char* kVariableKeys[] = {"value", "task"};
            if (!OnlyKnown(*t, name, kVariableKeys, error) || !WideText(*t, name, "value", false, e.value, error) ||
                !ReadTask(*t, name, e.task, error))
                return false;
        } else if (!Text(value, name, e.value, error)) {
            return false;
        }
        out.environment.push_back(std::move(e));
    }
    return true;
}

// `startatsignin`: true, false, the program's arguments, or a table
// { arguments = "/tray", task = "tray" }.
bool ReadSignin(const toml::table& root, payload::Declarations& out, std::string& error) {
    const toml::node* node = root.get("startatsignin");
    if (!node) return true;
    if (const auto flag = node->value<bool>(); node->is_boolean() && flag) {
        out.startatsignin = *flag;
    } else if (node->is_string()) {
        if (!Text(*node, "startatsignin", out.signinarguments, error)) return false;
        out.startatsignin = true;
    } else if (const toml::table* t = node->as_table()) {
        static constexpr const char* kSigninKeys[] = {"arguments", "task"};
        if (!OnlyKnown(*t, "startatsignin", kSigninKeys, error) ||
            !WideText(*t, "startatsignin", "arguments", true, out.signinarguments, error) ||
            !ReadTask(*t, "startatsignin", out.signintask, error))
            return false;
        out.startatsignin = true;
    } else {
        error = "startatsignin must be true, false, the program's arguments as a text, or { arguments, task }";
        return false;
    }
    return true;
}

// Every declaration's task is one [[tasks]] declares.
bool TasksKnown(const payload::Declarations& d, std::string& error) {
    const auto check = [&](const std::string& task, const std::string& where) {
        if (task.empty() || std::any_of(d.tasks.begin(), d.tasks.end(),
                                        [&](const payload::TaskDeclaration& t) { return t.name == task; }))
            return true;
        error = where + " names the task \"" + task + "\", which [[tasks]] does not declare";
        return false;
    };
    for (std::size_t i = 0; i < d.registry.size(); ++i)
        if (!check(d.registry[i].task, "registry[" + std::to_string(i) + "]")) return false;
    if (!check(d.signintask, "startatsignin")) return false;
    for (std::size_t i = 0; i < d.path.size(); ++i)
        if (!check(d.path[i].task, "path[" + std::to_string(i) + "]")) return false;
    for (const payload::EnvironmentDeclaration& e : d.environment)
        if (!check(e.task, "environment." + sacwriter::Utf16ToUtf8(e.name))) return false;
    for (std::size_t i = 0; i < d.filetypes.size(); ++i)
        if (!check(d.filetypes[i].task, "filetypes[" + std::to_string(i) + "]")) return false;
    for (std::size_t i = 0; i < d.protocols.size(); ++i)
        if (!check(d.protocols[i].task, "protocols[" + std::to_string(i) + "]")) return false;
    return true;
}

}  // namespace

std::vector<DeclaredFile> DeclaredFiles(const payload::Declarations& d) {
    std::vector<DeclaredFile> files;
    for (std::size_t i = 0; i < d.filetypes.size(); ++i) {
        const std::string name = "filetypes[" + std::to_string(i) + "]";
        if (!d.filetypes[i].icon.empty()) files.push_back({name + ".icon", d.filetypes[i].icon, false});
        for (const payload::VerbDeclaration& v : d.filetypes[i].verbs)
            files.push_back({name + " (" + v.verb + ").program", v.program, false});
    }
    for (std::size_t i = 0; i < d.protocols.size(); ++i)
        files.push_back({"protocols[" + std::to_string(i) + "].program", d.protocols[i].program, false});
    for (std::size_t i = 0; i < d.path.size(); ++i)
        if (!d.path[i].folder.empty()) files.push_back({"path[" + std::to_string(i) + "]", d.path[i].folder, true});
    for (std::size_t i = 0; i < d.runs.size(); ++i)
        files.push_back({"run[" + std::to_string(i) + "].program", d.runs[i].program, false});
    return files;
}

bool LoadDeclarations(const toml::table& root, payload::Declarations& out, std::string& error,
                      std::vector<std::string>* prerequisitefiles) {
    out = {};
    std::vector<std::string> sources;
    if (!Tables(root, "tasks", payload::kMaxTasks, error, [&](const toml::table& t, const std::string& name) {
            payload::TaskDeclaration task;
            if (!ReadTaskTable(t, name, task, error)) return false;
            out.tasks.push_back(std::move(task));
            return true;
        }) ||
        !Tables(root, "registry", payload::kMaxRegistryDeclarations, error,
                [&](const toml::table& t, const std::string& name) {
                    payload::RegistryDeclaration d;
                    if (!ReadRegistry(t, name, d, error)) return false;
                    out.registry.push_back(std::move(d));
                    return true;
                }) ||
        !Tables(root, "filetypes", payload::kMaxFileTypes, error, [&](const toml::table& t, const std::string& name) {
            payload::FileTypeDeclaration f;
            if (!ReadFileType(t, name, f, error)) return false;
            out.filetypes.push_back(std::move(f));
            return true;
        }) ||
        !Tables(root, "protocols", payload::kMaxProtocols, error, [&](const toml::table& t, const std::string& name) {
            payload::ProtocolDeclaration p;
            if (!ReadProtocol(t, name, p, error)) return false;
            out.protocols.push_back(std::move(p));
            return true;
        }) ||
        !Tables(root, "prerequisites", payload::kMaxPrerequisites, error,
                [&](const toml::table& t, const std::string& name) {
                    payload::PrerequisiteDeclaration p;
                    std::string source;
                    if (!ReadPrerequisite(t, name, p, source, error)) return false;
                    out.prerequisites.push_back(std::move(p));
                    sources.push_back(std::move(source));
                    return true;
                }) ||
        !Tables(root, "run", payload::kMaxRunDeclarations, error, [&](const toml::table& t, const std::string& name) {
            payload::RunDeclaration r;
            if (!ReadRun(t, name, r, error)) return false;
            out.runs.push_back(std::move(r));
            return true;
        }) ||
        !ReadSignin(root, out, error) || !ReadPath(root, out, error) || !ReadEnvironment(root, out, error) ||
        !ReadTaskTexts(root, out, error) || !TasksKnown(out, error))
        return false;
    std::string why;
    if (!out.Empty() && payload::FormatDeclarations(out, &why).empty()) {
        error = "the declarations cannot be carried: " + why;
        return false;
    }
    if (prerequisitefiles) *prerequisitefiles = std::move(sources);
    return true;
}

}  // namespace tallowin
