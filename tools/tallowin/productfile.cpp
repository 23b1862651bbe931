#define TOML_HEADER_ONLY 1
#include "tools/tallowin/productfile.hpp"

#include "tools/tallowin/productdeclarations.hpp"

#include "payload/crc32.hpp"
#include "payload/entrypath.hpp"
#include "payload/pathbounds.hpp"
#include "payload/productnames.hpp"
#include "payload/texttable.hpp"
#include "setuputil/pathrules.hpp"
#include "tools/peres/icongroup.hpp"
#include "tools/sacwriter/textcodec.hpp"

#include <toml++/toml.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>

namespace tallowin {

using sacwriter::ArchiveItem;
using sacwriter::InstallerInput;

namespace {

// Reads typed values of one TOML table and remembers which keys it used, so
// that a misspelt key is reported instead of silently ignored.
class Table {
public:
    Table(const toml::table& table, std::string name) : table_(table), name_(std::move(name)) {}

    bool Text(const char* key, bool required, std::string& out, std::string& error) {
        used_.insert(key);
        const toml::node* node = table_.get(key);
        if (!node) {
            if (!required) return true;
            error = Field(key) + " is missing";
            return false;
        }
        const auto value = node->value<std::string>();
        if (!node->is_string() || !value) {
            error = Field(key) + " must be a text";
            return false;
        }
        out = *value;
        return true;
    }

    void Known(const char* key) { used_.insert(key); }

    bool Unused(std::string& error) const {
        for (const auto& [key, node] : table_) {
            if (used_.count(std::string(key.str())) == 0) {
                error = Field(std::string(key.str())) + " is not a known setting";
                return false;
            }
        }
        return true;
    }

    std::string Field(const std::string& key) const { return name_.empty() ? key : name_ + "." + key; }

private:
    const toml::table& table_;
    std::string name_;
    std::set<std::string> used_;
};

bool To1252(const std::string& field, const std::string& text, std::string& out, std::string& error) {
    if (sacwriter::Utf8ToCp1252(text, out)) return true;
    error = field + " holds characters the Windows-1252 code page lacks";
    return false;
}

}  // namespace

std::string EightBitProductName(const std::u16string& name) {
    std::string fitting;
    if (sacwriter::Utf8ToCp1252(sacwriter::Utf16ToUtf8(name), fitting)) return fitting;
    std::string form;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        // A surrogate pair is one character, so one stand-in.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) ++i;
        const bool plain = c >= 0x20 && c < 0x7f && c != u'\\' && c != u'/' && c != u'~';
        form += plain ? static_cast<char>(c) : '_';
    }
    const std::string utf8 = sacwriter::Utf16ToUtf8(name);
    char checksum[9];
    std::snprintf(checksum, sizeof checksum, "%08x", payload::Crc32(0, utf8.data(), utf8.size()));
    return form + "~" + checksum;
}

namespace {

bool ToWide(const std::string& field, const std::string& text, std::u16string& out, std::string& error) {
    if (sacwriter::Utf8ToUtf16(text, out)) return true;
    error = field + " is not valid UTF-8";
    return false;
}

// A text that becomes a link file's name (`name` + ".lnk"): one name, at
// most payload::kMaxNameUnits long, so that the shortcut can be made and
// its path recorded (payload/pathbounds.hpp).
bool FitsLinkName(const std::string& field, const std::u16string& name, std::string& error) {
    if (name.size() + 4 <= payload::kMaxNameUnits) return true;
    error = field + " is " + std::to_string(name.size()) + " characters long; as a link file's name with \".lnk\" it " +
            "may be at most " + std::to_string(payload::kMaxNameUnits - 4) + " (Windows takes " +
            std::to_string(payload::kMaxNameUnits) + " in one name)";
    return false;
}

// A path relative to the installation folder ("bin\svc.exe"): every part a
// plain name, no drive, no "..".
bool CheckRelativePath(const std::string& field, const std::string& text, std::string& error) {
    std::u16string wide;
    if (!ToWide(field, text, wide, error)) return false;
    std::replace(wide.begin(), wide.end(), u'/', u'\\');
    if (wide.empty() || wide.front() == u'\\' ||
        payload::CheckSubfolder(u"\\" + wide) != payload::EntryPathProblem::None) {
        error = field + " \"" + text + "\" must be a path inside the installation folder";
        return false;
    }
    return true;
}

std::u16string FromPath(const std::filesystem::path& path, bool& ok) {
    try {
        return path.u16string();
    } catch (const std::exception&) {
        ok = false;
        return {};
    }
}

double FileDayCount(const std::filesystem::path& path, std::optional<std::int64_t> cap) {
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(path, ec);
    std::int64_t seconds = 0;
    if (!ec) {
        const auto system = std::chrono::file_clock::to_sys(written);
        seconds = std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
    }
    if (cap && seconds > *cap) seconds = *cap;
    return sacwriter::DayCountFromUnix(seconds);
}

// Walks `folder` (shown as `shown`, relative to the files folder) into
// `items`, following links to folders.  `open` holds the real paths of the
// folders being walked: a link back to one of them is a loop.
bool GatherFolder(const std::filesystem::path& root, const std::filesystem::path& folder,
                  std::optional<std::int64_t> cap, std::vector<std::filesystem::path>& open,
                  std::vector<ArchiveItem>& items, std::string& error) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(folder, ec);
    if (ec) {
        error = "files: cannot read the folder " + folder.string() + ": " + ec.message();
        return false;
    }
    for (const std::filesystem::path& outer : open)
        if (outer == real) {
            error = "files: " + folder.string() + " links back to " + outer.string() + ", a loop";
            return false;
        }
    open.push_back(real);
    std::vector<std::filesystem::path> entries;
    for (std::filesystem::directory_iterator walk(folder, ec), end; !ec && walk != end; walk.increment(ec))
        entries.push_back(walk->path());
    if (ec) {
        error = "files: cannot read the folder " + folder.string() + ": " + ec.message();
        return false;
    }
    std::sort(entries.begin(), entries.end());
    for (const std::filesystem::path& path : entries) {
        // Status follows links: a linked folder is walked, a linked file
        // packed, a dangling link refused.
        const std::filesystem::file_status status = std::filesystem::status(path, ec);
        if (ec && ec != std::errc::no_such_file_or_directory) {
            error = "files: cannot read " + path.string() + ": " + ec.message();
            return false;
        }
        if (std::filesystem::is_directory(status)) {
            if (!GatherFolder(root, path, cap, open, items, error)) return false;
            continue;
        }
        if (!std::filesystem::is_regular_file(status)) {
            error = "files: " + path.string() + " is neither a file nor a folder";
            return false;
        }
        ArchiveItem item;
        bool ok = true;
        item.filename = FromPath(path.filename(), ok);
        const std::filesystem::path relative = path.parent_path().lexically_relative(root);
        for (const auto& part : relative) {
            if (part == ".") continue;
            item.subfolder += u'\\' + FromPath(part, ok);
        }
        if (!ok) {
            error = "files: the name of " + path.string() + " is not valid UTF-8 and cannot be carried";
            return false;
        }
        item.source = path;
        item.filetime = FileDayCount(path, cap);
        // A file without write permission installs read-only (on Windows
        // hosts the read-only attribute shows up the same way).
        if ((status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
            item.attributes = 0x21;
        items.push_back(std::move(item));
    }
    open.pop_back();
    return true;
}

bool GatherFiles(const std::filesystem::path& root, std::optional<std::int64_t> cap,
                 std::vector<ArchiveItem>& items, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec)) {
        error = "files: " + root.string() + " is not a folder";
        return false;
    }
    std::vector<std::filesystem::path> open;
    return GatherFolder(root, root, cap, open, items, error);
}

bool LoadLicense(const std::filesystem::path& path, std::string& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "license: cannot read " + path.string();
        return false;
    }
    const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string text;
    if (!sacwriter::Utf8ToCp1252(utf8, text)) {
        error = "license: " + path.string() + " is not UTF-8 text that the Windows-1252 code page can hold";
        return false;
    }
    // The license box breaks lines only at carriage return + line feed.
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    if (out.find('\0') != std::string::npos) {
        error = "license: " + path.string() + " holds a zero byte";
        return false;
    }
    return true;
}

// A small input file (an icon, a picture): at most 16 MiB.
bool ReadWhole(const std::string& field, const std::filesystem::path& path, std::vector<std::uint8_t>& out,
               std::string& error) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in) {
        error = field + ": cannot read " + path.string();
        return false;
    }
    if (size > (16u << 20)) {
        error = field + ": " + path.string() + " is larger than 16 MiB";
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// A path inside the installation folder that the product file names: the
// field, its text there, and the path with "\\" between its parts.
struct NamedPath {
    std::string field;
    std::string text;
    std::u16string path;
};

bool AddNamedPath(const std::string& field, const std::string& text, std::vector<NamedPath>& out, std::string& error) {
    NamedPath named{field, text, {}};
    if (!ToWide(field, text, named.path, error)) return false;
    std::replace(named.path.begin(), named.path.end(), u'/', u'\\');
    out.push_back(std::move(named));
    return true;
}

// The gathered files and the folders that hold them, as Windows compares
// their names.
class PackedPaths {
public:
    explicit PackedPaths(const std::vector<ArchiveItem>& items) {
        for (const ArchiveItem& item : items) {
            files_.insert(sacwriter::FoldedPath(item.subfolder + u'\\' + item.filename));
            std::u16string folder = sacwriter::FoldedPath(item.subfolder);
            for (; !folder.empty(); folder.resize(folder.rfind(u'\\'))) folders_.insert(folder);
        }
    }
    bool HasFile(const std::u16string& path) const { return files_.count(sacwriter::FoldedPath(path)) != 0; }
    bool HasFolder(const std::u16string& path) const { return folders_.count(sacwriter::FoldedPath(path)) != 0; }

private:
    std::set<std::u16string> files_, folders_;
};

// `languages`, the [texts.<code>] tables and the `languagefiles`
// (docs/languages.md): every code well formed, every text known and with
// English's inserts.
bool LoadVendorTexts(const toml::table& root, const std::filesystem::path& base, VendorTexts& out, std::string& error) {
    out = {};
    const auto codeOf = [&](const std::string& field, const std::string& text, std::string& code) {
        code = payload::CanonicalLanguageCode(text);
        if (code.empty()) error = field + ": \"" + text + "\" is not a language code (\"de\", \"pt-BR\")";
        return !code.empty();
    };
    const auto strings = [&](const char* key, std::vector<std::string>& list) {
        const toml::node* node = root.get(key);
        if (!node) return true;
        const toml::array* array = node->as_array();
        bool ok = array != nullptr;
        if (ok)
            for (const toml::node& element : *array) {
                const auto value = element.value<std::string>();
                if (!element.is_string() || !value) ok = false;
                else list.push_back(*value);
            }
        if (!ok) error = std::string(key) + " must be a list of texts";
        return ok;
    };
    std::vector<std::string> languages, files;
    if (!strings("languages", languages) || !strings("languagefiles", files)) return false;
    if (root.get("languages")) {
        out.languages.emplace();
        for (const std::string& text : languages) {
            std::string code;
            if (!codeOf("languages", text, code)) return false;
            out.languages->push_back(code);
        }
    }
    const auto add = [&](payload::TextTable table, const std::string& where) {
        if (std::string problem = CheckVendorTable(table, where); !problem.empty()) {
            error = problem;
            return false;
        }
        if (std::any_of(out.tables.begin(), out.tables.end(), [&](const auto& t) { return t.code == table.code; })) {
            error = where + ": the texts of " + table.code + " are given twice";
            return false;
        }
        out.tables.push_back(std::move(table));
        return true;
    };
    if (const toml::node* node = root.get("texts")) {
        const toml::table* texts = node->as_table();
        if (!texts) {
            error = "texts must hold tables: [texts.de]";
            return false;
        }
        for (const auto& [key, value] : *texts) {
            const std::string field = "texts." + std::string(key.str());
            payload::TextTable table;
            if (!codeOf(field, std::string(key.str()), table.code)) return false;
            const toml::table* entries = value.as_table();
            if (!entries) {
                error = field + " must be a table of texts";
                return false;
            }
            for (const auto& [name, text] : *entries) {
                if (name.str() == "tasks" && text.is_table()) continue;  // the tasks' captions: declarations
                const auto string = text.value<std::string>();
                if (!text.is_string() || !string) {
                    error = field + "." + std::string(name.str()) + " must be a text";
                    return false;
                }
                if (string->size() > payload::kMaxTextBytes) {
                    error = field + "." + std::string(name.str()) + " is longer than " +
                            std::to_string(payload::kMaxTextBytes) + " bytes";
                    return false;
                }
                table.texts.emplace_back(std::string(name.str()), *string);
            }
            if (!add(std::move(table), field)) return false;
        }
    }
    for (const std::string& name : files) {
        const std::filesystem::path path = base / name;
        std::vector<std::uint8_t> bytes;
        if (!ReadWhole("languagefiles", path, bytes, error)) return false;
        std::vector<std::string> problems;
        std::vector<payload::TextTable> tables =
            payload::ReadTextTables(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &problems);
        if (!problems.empty()) {
            error = "languagefiles: " + path.string() + ": " + problems.front();
            return false;
        }
        for (payload::TextTable& table : tables) {
            // A file without a "[code]" line is named by its language: "sv.txt".
            if (table.code.empty() && !codeOf("languagefiles: " + path.string(), path.stem().string(), table.code))
                return false;
            if (!add(std::move(table), "languagefiles: " + path.string())) return false;
        }
    }
    return true;
}

}  // namespace

bool NormaliseFolder(const std::string& field, const std::u16string& text, bool leadingbackslash,
                     std::u16string& out, std::string& error) {
    std::u16string body = text;
    std::replace(body.begin(), body.end(), u'/', u'\\');
    while (!body.empty() && body.front() == u'\\') body.erase(0, 1);
    while (!body.empty() && body.back() == u'\\') body.pop_back();
    if (body.empty()) {
        error = field + " is empty; the uninstaller removes this folder, so it must be the product's own";
        return false;
    }
    const payload::EntryPathProblem problem = payload::CheckSubfolder(u"\\" + body);
    if (problem == payload::EntryPathProblem::UnusableSubfolder) {
        error = field + " \"" + sacwriter::Utf16ToUtf8(text) +
                "\" holds one of * ? \" < > |, a control character or a name ending in a dot or a blank";
        return false;
    }
    if (problem != payload::EntryPathProblem::None) {
        error = field + " \"" + sacwriter::Utf16ToUtf8(text) +
                "\" must be a relative folder: no drive, no \"..\", no device names";
        return false;
    }
    for (std::size_t start = 0, end; start <= body.size(); start = end + 1) {
        end = std::min(body.find(u'\\', start), body.size());
        if (end - start > payload::kMaxNameUnits) {
            error = field + " \"" + sacwriter::Utf16ToUtf8(text) + "\" holds a folder name of " +
                    std::to_string(end - start) + " characters; Windows takes at most " +
                    std::to_string(payload::kMaxNameUnits) + " in one name";
            return false;
        }
    }
    out = leadingbackslash ? u"\\" + body : body;
    return true;
}

bool ParseCompression(const std::string& text, payload::PayloadKind& kind, std::string& error) {
    if (text.empty() || text == "per-file") {
        kind = payload::PayloadKind::Sac;
        return true;
    }
    if (text == "solid") {
        kind = payload::PayloadKind::Solid;
        return true;
    }
    error = "compression must be \"per-file\" or \"solid\", not \"" + text + "\"";
    return false;
}

bool LoadProductFile(const std::filesystem::path& file, std::optional<std::int64_t> sourcedateepoch,
                     InstallerInput& input, std::vector<std::string>& warnings, std::string& error) {
    StubIdentity identity;
    return LoadProductFile(file, sourcedateepoch, input, identity, warnings, error);
}

bool LoadProductFile(const std::filesystem::path& file, std::optional<std::int64_t> sourcedateepoch,
                     InstallerInput& input, StubIdentity& identity, std::vector<std::string>& warnings,
                     std::string& error) {
    toml::table root;
    try {
        root = toml::parse_file(file.string());
    } catch (const toml::parse_error& e) {
        std::ostringstream where;
        where << e.source().begin;
        error = "not a valid product file (" + where.str() + "): " + std::string(e.description());
        return false;
    }
    const std::filesystem::path base = file.parent_path();

    std::string name, version, exename, startmenu, subfolder, appdata, license, files;
    std::string publisher, icon, copyright, wizardimage, architecture, scope, compression;
    Table top(root, "");
    if (!top.Text("productname", true, name, error) || !top.Text("productversion", true, version, error) ||
        !top.Text("exename", true, exename, error) || !top.Text("startmenufolder", true, startmenu, error) ||
        !top.Text("defaultsubfolder", true, subfolder, error) || !top.Text("appdatafolder", false, appdata, error) ||
        !top.Text("license", false, license, error) || !top.Text("files", true, files, error) ||
        !top.Text("publisher", false, publisher, error) || !top.Text("icon", false, icon, error) ||
        !top.Text("copyright", false, copyright, error) || !top.Text("wizardimage", false, wizardimage, error) ||
        !top.Text("architecture", false, architecture, error) || !top.Text("scope", false, scope, error) ||
        !top.Text("compression", false, compression, error))
        return false;
    if (!ParseCompression(compression, input.kind, error)) return false;
    if (!architecture.empty() && architecture != "x86" && architecture != "x64") {
        error = "architecture must be \"x86\" or \"x64\", not \"" + architecture + "\"";
        return false;
    }
    if (!scope.empty() && scope != "machine" && scope != "user") {
        error = "scope must be \"machine\" or \"user\", not \"" + scope + "\"";
        return false;
    }
    top.Known("services");  // lists of tables, read below
    top.Known("shortcuts");
    top.Known("languages");  // the languages, read below
    top.Known("languagefiles");
    top.Known("texts");
    top.Known("registry");  // the declarations, read below
    top.Known("startatsignin");
    top.Known("tasks");
    top.Known("path");
    top.Known("environment");
    top.Known("filetypes");
    top.Known("protocols");
    top.Known("prerequisites");
    top.Known("run");
    if (!top.Unused(error)) return false;
    VendorTexts texts;
    if (!LoadVendorTexts(root, file.parent_path(), texts, error)) return false;

    payload::TrailerFields& f = input.fields;
    f = {};
    // The product name may be in any script: the trailer gets its 8-bit
    // form, the names record (payload/productnames.hpp) the name itself.
    std::u16string widename;
    if (!ToWide("productname", name, widename, error)) return false;
    if (widename.empty()) {
        error = "productname is empty";
        return false;
    }
    if (!payload::IsShowableName(widename)) {
        error = "productname holds a control character";
        return false;
    }
    f.productname = EightBitProductName(widename);
    if (f.productname.size() > payload::kMaxProductNameUnits) {
        error = "productname is " + std::to_string(f.productname.size()) + " bytes long in its 8-bit form \"" +
                f.productname + "\"; the trailer holds at most " + std::to_string(payload::kMaxProductNameUnits);
        return false;
    }
    if (!To1252("productversion", version, f.productversion, error) || !To1252("exename", exename, f.exename, error) ||
        !To1252("appdatafolder", appdata, f.appdatafolder, error))
        return false;
    std::u16string wideexe;
    if (!ToWide("exename", exename, wideexe, error)) return false;
    // The uninstall command line ("tallowui.exe -ui " + exename) is not
    // quoted: a blank, a tab or a double quote would split or break it, and
    // the product could never be uninstalled.
    if (f.exename.find_first_of(" \t\"") != std::string::npos) {
        error = "exename \"" + exename +
                "\" must not hold a blank, a tab or a double quote: the uninstall command line cannot carry it";
        return false;
    }
    if (payload::CheckFileName(wideexe) != payload::EntryPathProblem::None) {
        error = "exename \"" + exename + "\" must be a plain file name";
        return false;
    }
    std::u16string wide;
    if (!ToWide("startmenufolder", startmenu, wide, error) ||
        !NormaliseFolder("startmenufolder", wide, true, f.startmenufolder, error) ||
        !ToWide("defaultsubfolder", subfolder, wide, error) ||
        !NormaliseFolder("defaultsubfolder", wide, true, f.defaultsubfolder, error))
        return false;
    if (!appdata.empty()) {
        std::u16string folder;
        if (!ToWide("appdatafolder", appdata, wide, error) ||
            !NormaliseFolder("appdatafolder", wide, false, folder, error) ||
            !To1252("appdatafolder", sacwriter::Utf16ToUtf8(folder), f.appdatafolder, error))
            return false;
    }

    const auto slotTables = [&](const char* key, std::vector<const toml::table*>& out) {
        const toml::node* node = root.get(key);
        if (!node) return true;
        const toml::array* array = node->as_array();
        if (!array) {
            error = std::string(key) + " must be a list of tables ([[" + key + "]])";
            return false;
        }
        for (const toml::node& element : *array) {
            if (!element.is_table()) {
                error = std::string(key) + " must be a list of tables ([[" + key + "]])";
                return false;
            }
            out.push_back(element.as_table());
        }
        return true;
    };

    // What the installer will start or link to, as the product file names it.
    std::vector<NamedPath> programs{{"exename", exename, wideexe}}, targets;
    std::vector<const toml::table*> services, shortcuts;
    if (!slotTables("services", services) || !slotTables("shortcuts", shortcuts)) return false;
    if (services.size() > payload::kServiceSlots) {
        error = "services: " + std::to_string(services.size()) + " given; an installer holds at most " +
                std::to_string(payload::kServiceSlots);
        return false;
    }
    if (shortcuts.size() > payload::kShortcutSlots) {
        error = "shortcuts: " + std::to_string(shortcuts.size()) + " given; an installer holds at most " +
                std::to_string(payload::kShortcutSlots);
        return false;
    }
    for (std::size_t i = 0; i < services.size(); ++i) {
        Table t(*services[i], "services[" + std::to_string(i) + "]");
        std::string program, servicename;
        payload::ServiceSlot slot;
        if (!t.Text("program", true, program, error) || !t.Text("name", true, servicename, error) ||
            !t.Unused(error) || !CheckRelativePath(t.Field("program"), program, error) ||
            !To1252(t.Field("program"), program, slot.program, error) ||
            !To1252(t.Field("name"), servicename, slot.name, error))
            return false;
        std::replace(slot.program.begin(), slot.program.end(), '/', '\\');
        f.services.push_back(slot);
        if (!AddNamedPath(t.Field("program"), program, programs, error)) return false;
    }
    if (scope == "user" && !f.services.empty()) {
        std::string names;
        for (const payload::ServiceSlot& slot : f.services) names += (names.empty() ? "" : ", ") + sacwriter::Cp1252ToUtf8(slot.name);
        error = "services: a per-user product (scope = \"user\") cannot install services, which need administrator "
                "rights: " + names;
        return false;
    }
    for (std::size_t i = 0; i < shortcuts.size(); ++i) {
        Table t(*shortcuts[i], "shortcuts[" + std::to_string(i) + "]");
        std::string target, arguments, caption;
        payload::ShortcutSlot slot;
        if (!t.Text("target", true, target, error) || !t.Text("arguments", false, arguments, error) ||
            !t.Text("caption", true, caption, error) || !t.Unused(error) ||
            !CheckRelativePath(t.Field("target"), target, error))
            return false;
        // The installer splits the slot at its first "-": what comes before
        // is the target, the rest (with the "-") the arguments.
        if (target.find('-') != std::string::npos) {
            error = t.Field("target") + " \"" + target + "\" holds a \"-\", which the installer reads as the start of the arguments";
            return false;
        }
        if (!arguments.empty() && arguments.front() != '-') {
            error = t.Field("arguments") + " must begin with \"-\"";
            return false;
        }
        std::u16string widecaption;
        if (!ToWide(t.Field("caption"), caption, widecaption, error)) return false;
        if (payload::CheckFileName(widecaption) != payload::EntryPathProblem::None ||
            widecaption.find_first_of(u"*?\"<>|") != std::u16string::npos) {
            error = t.Field("caption") + " \"" + caption + "\" becomes a link file's name and must be a plain file name";
            return false;
        }
        if (!FitsLinkName(t.Field("caption"), widecaption, error)) return false;
        if (!AddNamedPath(t.Field("target"), target, targets, error)) return false;
        std::replace(target.begin(), target.end(), '/', '\\');
        if (!To1252(t.Field("target"), target + arguments, slot.target, error) ||
            !To1252(t.Field("caption"), caption, slot.caption, error))
            return false;
        f.shortcuts.push_back(slot);
    }

    // Every length limit of the trailer, checked now with the field's name.
    auto scratch = std::make_unique<payload::tsetuptrailer>();
    if (!payload::BuildTrailer(f, *scratch, error)) return false;

    identity = {};
    identity.texts = std::move(texts);
    identity.architecture = architecture == "x64" ? Architecture::X64 : Architecture::X86;
    identity.scope = scope == "user" ? payload::InstallScope::User : payload::InstallScope::Machine;
    std::vector<std::string> prerequisitefiles;
    if (!LoadDeclarations(root, identity.declarations, error, &prerequisitefiles)) return false;
    if (!ToWide("publisher", publisher, identity.publisher, error) ||
        !ToWide("copyright", copyright, identity.copyright, error) ||
        !ToWide("productname", name, identity.productname, error) ||
        !ToWide("productversion", version, identity.productversion, error))
        return false;
    if (!FitsLinkName("productname", setuputil::StripBadNameChars(identity.productname), error)) return false;
    // The publisher becomes the uninstall entry's "Publisher" too.
    if (identity.publisher.size() > payload::kMaxProductNameUnits) {
        error = "publisher is longer than " + std::to_string(payload::kMaxProductNameUnits) + " characters";
        return false;
    }
    if (!payload::IsShowableName(identity.publisher)) {
        error = "publisher holds a control character";
        return false;
    }
    // Names the code page holds need no record: such a product's stub is
    // stamped as before the record existed.
    std::string unused;
    if (!sacwriter::Utf8ToCp1252(name, unused) || !sacwriter::Utf8ToCp1252(publisher, unused))
        identity.names = {identity.productname, identity.publisher, f.productname};
    if (copyright.size() > 1024) {
        error = "copyright is longer than 1,024 bytes";
        return false;
    }
    if (!icon.empty()) {
        std::vector<peres::IconImage> images;
        if (!ReadWhole("icon", base / icon, identity.icon, error)) return false;
        if (!peres::ParseIcoFile(identity.icon, images, error)) {
            error = "icon: " + (base / icon).string() + ": " + error;
            return false;
        }
    }
    if (!wizardimage.empty()) {
        if (!ReadWhole("wizardimage", base / wizardimage, identity.wizardimage, error)) return false;
        if (std::string problem = CheckWizardImage(identity.wizardimage); !problem.empty()) {
            error = "wizardimage: " + (base / wizardimage).string() + ": " + problem;
            return false;
        }
    }

    input.licensetext.clear();
    if (!license.empty() && !LoadLicense(base / license, input.licensetext, error)) return false;

    input.items.clear();
    if (!GatherFiles(base / files, sourcedateepoch, input.items, error)) return false;
    const PackedPaths packed(input.items);
    for (const NamedPath& program : programs)
        if (!packed.HasFile(program.path)) {
            error = program.field + " \"" + program.text + "\" is not among the files in " + (base / files).string() +
                    ": the installer could not start it";
            return false;
        }
    for (const DeclaredFile& declared : DeclaredFiles(identity.declarations))
        if (declared.folder ? !packed.HasFolder(declared.path) : !packed.HasFile(declared.path)) {
            error = declared.field + " \"" + setuputil::Utf16ToUtf8(declared.path) + "\" is not among the " +
                    (declared.folder ? "folders" : "files") + " in " + (base / files).string() +
                    ": a declaration may only name the product's own";
            return false;
        }
    // Each prerequisite's installer rides along as an entry the install
    // never writes into the program folder (payload/sacformat.hpp).
    for (std::size_t i = 0; i < prerequisitefiles.size(); ++i) {
        const std::filesystem::path source = base / prerequisitefiles[i];
        std::error_code ec;
        if (!std::filesystem::is_regular_file(source, ec)) {
            error = "prerequisites[" + std::to_string(i) + "].file: " + source.string() + " is not a file";
            return false;
        }
        ArchiveItem item;
        item.filename = identity.declarations.prerequisites[i].file;
        item.subfolder = std::u16string(u"\\") + payload::kPrerequisiteFolder;
        item.source = source;
        item.filetime = FileDayCount(source, sourcedateepoch);
        item.role = payload::kEntryRolePrerequisite;
        input.items.push_back(std::move(item));
    }
    for (const NamedPath& target : targets)
        if (!packed.HasFile(target.path) && !packed.HasFolder(target.path))
            warnings.push_back(target.field + " \"" + target.text + "\" is not among the files in " +
                               (base / files).string() + ": the shortcut will point at nothing");
    if (sourcedateepoch) {
        input.created = sacwriter::DayCountFromUnix(*sourcedateepoch);
    } else {
        input.created = 0;
        for (const ArchiveItem& item : input.items) input.created = std::max(input.created, item.filetime);
    }
    return true;
}

}  // namespace tallowin
