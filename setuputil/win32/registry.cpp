#include "setuputil/registry.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/regpath.hpp"

#include <windows.h>

#include <vector>

namespace setuputil {

namespace {

// An open registry key, closed when it goes out of scope.  The predefined
// roots are never held here.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    HKEY* out() { return &key_; }

private:
    HKEY key_ = nullptr;
};

HKEY RootHandle(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
        case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case RegRoot::Users: return HKEY_USERS;
    }
    return HKEY_CURRENT_USER;
}

// Names of the direct subkeys, in the registry's order.
std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];  // key names hold at most 255 characters
        DWORD length = sizeof(name);
        const LONG rc = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;  // cannot be a key name; skip it
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// Deletes `subpath` below the open key `parent` with everything under it.
// Subkeys are opened relative to their parent, so depth never lengthens the
// paths handed to the registry.  The last-to-first sweep catches subkeys
// that appeared meanwhile; it does not sweep again inside them, so keys that
// refuse deletion cost one extra visit each rather than one per level.
void DeleteTree(HKEY parent, const std::string& subpath, bool sweep) {
    {
        RegKey key;
        if (RegOpenKeyExA(parent, subpath.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS) return;
        for (const std::string& name : SubkeyNames(key.get())) DeleteTree(key.get(), name, true);
        if (sweep) {
            DWORD count = 0;
            if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
                for (DWORD index = count; index-- > 0;) {
                    char name[256];
                    DWORD length = sizeof(name);
                    if (RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                        ERROR_SUCCESS)
                        DeleteTree(key.get(), std::string(name, length), false);
                }
            }
        }
    }
    RegDeleteKeyA(parent, subpath.c_str());
}

}  // namespace

std::string tregistry::ReadString(const std::string& keypath, const std::string& name,
                                  const std::string& fallback) const {
    RegKey key;
    const std::string path = CanonicalRegPath(keypath);
    if (RegOpenKeyExA(RootHandle(root_), path.c_str(), 0, KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS)
        return fallback;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return fallback;
    if (size == 0) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw RegistryError("Invalid data type for '" + name + "'");
    // The value may grow between the two queries: retry with the new size.
    std::vector<char> data;
    for (int attempt = 0; attempt < 8; ++attempt) {
        data.assign(size + 1, '\0');
        DWORD got = size;
        const LONG rc = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &got);
        if (rc == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (rc != ERROR_SUCCESS) return fallback;  // removed meanwhile
        if (type != REG_SZ && type != REG_EXPAND_SZ) throw RegistryError("Invalid data type for '" + name + "'");
        data.resize(got);
        break;
    }
    std::string text(data.begin(), data.end());
    const std::size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    return text;
}

namespace {

// Creates the key with every missing level and stores one value in it.
void WriteValue(HKEY root, const std::string& keypath, const std::string& name, DWORD type, const void* data,
                DWORD size) {
    RegKey key;
    const std::string path = CanonicalRegPath(keypath);
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.out(),
                        nullptr) != ERROR_SUCCESS)
        throw RegistryError("Failed to create key " + keypath);
    if (RegSetValueExA(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
        throw RegistryError("Failed to set data for '" + name + "'");
}

}  // namespace

void tregistry::WriteString(const std::string& keypath, const std::string& name, const std::string& value) const {
    WriteValue(RootHandle(root_), keypath, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

std::u16string tregistry::ReadWideString(const std::string& keypath, const std::string& name,
                                         const std::u16string& fallback) const {
    RegKey key;
    const std::string path = CanonicalRegPath(keypath);
    if (RegOpenKeyExA(RootHandle(root_), path.c_str(), 0, KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS)
        return fallback;
    const std::u16string wname = AnsiToWide(name);
    const auto* wide = reinterpret_cast<const wchar_t*>(wname.c_str());
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), wide, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return fallback;
    if (size == 0) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw RegistryError("Invalid data type for '" + name + "'");
    std::vector<char16_t> data;
    for (int attempt = 0; attempt < 8; ++attempt) {
        data.assign(size / 2 + 1, u'\0');
        DWORD got = size;
        const LONG rc = RegQueryValueExW(key.get(), wide, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (rc == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (rc != ERROR_SUCCESS) return fallback;
        if (type != REG_SZ && type != REG_EXPAND_SZ) throw RegistryError("Invalid data type for '" + name + "'");
        data.resize(got / 2);
        break;
    }
    std::u16string text(data.begin(), data.end());
    const std::size_t end = text.find(u'\0');
    if (end != std::u16string::npos) text.resize(end);
    return text;
}

void tregistry::WriteWideString(const std::string& keypath, const std::string& name,
                                const std::u16string& value) const {
    RegKey key;
    const std::string path = CanonicalRegPath(keypath);
    if (RegCreateKeyExA(RootHandle(root_), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.out(), nullptr) != ERROR_SUCCESS)
        throw RegistryError("Failed to create key " + keypath);
    const std::u16string wname = AnsiToWide(name);
    if (RegSetValueExW(key.get(), reinterpret_cast<const wchar_t*>(wname.c_str()), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))) != ERROR_SUCCESS)
        throw RegistryError("Failed to set data for '" + name + "'");
}

void tregistry::WriteDword(const std::string& keypath, const std::string& name, std::uint32_t value) const {
    const DWORD data = value;
    WriteValue(RootHandle(root_), keypath, name, REG_DWORD, &data, sizeof data);
}

std::string ReadUserRegString(const std::string& keypath, const std::string& name, const std::string& fallback) {
    return tregistry(RegRoot::CurrentUser).ReadString(keypath, name, fallback);
}

std::string ReadClassesRegString(const std::string& keypath, const std::string& name,
                                 const std::string& fallback) {
    return tregistry(RegRoot::ClassesRoot).ReadString(keypath, name, fallback);
}

std::string ReadMachineRegString(const std::string& keypath, const std::string& name,
                                 const std::string& fallback) {
    return tregistry(RegRoot::LocalMachine).ReadString(keypath, name, fallback);
}

void WriteUserRegString(const std::string& keypath, const std::string& name, const std::string& value) {
    tregistry(RegRoot::CurrentUser).WriteString(keypath, name, value);
}

bool ReadKeyValues(RegRoot root, const std::string& keypath, std::vector<RegValueCopy>& values) {
    values.clear();
    RegKey key;
    if (RegOpenKeyExA(RootHandle(root), CanonicalRegPath(keypath).c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> name(16384);  // value names hold at most 16,383 characters
    for (DWORD index = 0;; ++index) {
        DWORD namesize = static_cast<DWORD>(name.size()), type = 0, datasize = 0;
        if (RegEnumValueW(key.get(), index, name.data(), &namesize, nullptr, &type, nullptr, &datasize) !=
            ERROR_SUCCESS)
            break;
        RegValueCopy value{std::u16string(reinterpret_cast<const char16_t*>(name.data()), namesize), type,
                           std::vector<std::uint8_t>(datasize)};
        DWORD size = datasize;
        if (RegQueryValueExW(key.get(), reinterpret_cast<const wchar_t*>(value.name.c_str()), nullptr, &type,
                             value.data.data(), &size) != ERROR_SUCCESS)
            continue;
        value.data.resize(size);
        values.push_back(std::move(value));
    }
    return true;
}

bool WriteKeyValues(RegRoot root, const std::string& keypath, const std::vector<RegValueCopy>& values) {
    RegKey key;
    if (RegCreateKeyExA(RootHandle(root), CanonicalRegPath(keypath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.out(), nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const RegValueCopy& value : values)
        ok = RegSetValueExW(key.get(), reinterpret_cast<const wchar_t*>(value.name.c_str()), 0, value.type,
                            value.data.data(), static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS &&
             ok;
    return ok;
}

bool ReadRegValue(RegRoot root, const std::string& keypath, const std::u16string& name, RegValueCopy& value) {
    value = {};
    RegKey key;
    if (RegOpenKeyExA(RootHandle(root), CanonicalRegPath(keypath).c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return false;
    const auto* wide = reinterpret_cast<const wchar_t*>(name.c_str());
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), wide, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    // The value may grow between the two queries: ask again with the new size.
    for (int attempt = 0; attempt < 8; ++attempt) {
        value.data.assign(size, 0);
        DWORD got = size;
        const LONG rc = RegQueryValueExW(key.get(), wide, nullptr, &type, value.data.data(), &got);
        if (rc == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        value.data.resize(got);
        value.name = name;
        value.type = type;
        return true;
    }
    value = {};
    return false;
}

bool DeleteRegValue(RegRoot root, const std::string& keypath, const std::u16string& name) {
    RegKey key;
    const LONG opened = RegOpenKeyExA(RootHandle(root), CanonicalRegPath(keypath).c_str(), 0, KEY_SET_VALUE, key.out());
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS) return false;
    const LONG rc = RegDeleteValueW(key.get(), reinterpret_cast<const wchar_t*>(name.c_str()));
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool RegKeyExists(RegRoot root, const std::string& keypath) {
    RegKey key;
    return RegOpenKeyExA(RootHandle(root), CanonicalRegPath(keypath).c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

bool DeleteEmptyRegKey(RegRoot root, const std::string& keypath) {
    if (IsProtectedRegPath(keypath)) return false;
    const std::string path = CanonicalRegPath(keypath);
    {
        RegKey key;
        if (RegOpenKeyExA(RootHandle(root), path.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS) return false;
        DWORD subkeys = 0, values = 0;
        if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subkeys != 0 || values != 0)
            return false;
    }
    return RegDeleteKeyA(RootHandle(root), path.c_str()) == ERROR_SUCCESS;
}

void DeleteRegTree(RegRoot root, const std::string& keypath) {
    if (IsProtectedRegPath(keypath)) return;
    DeleteTree(RootHandle(root), CanonicalRegPath(keypath), true);
}

}  // namespace setuputil
