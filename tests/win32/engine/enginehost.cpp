#include "tests/win32/engine/enginehost.hpp"

#include <objbase.h>
#include <shlguid.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace enginetest {

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path ProgramFolder() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path();
}

void BuildInstaller(const std::filesystem::path& file, const sacwriter::InstallerInput& input,
                    payload::tsetuptrailer& trailer) {
    {
        std::ofstream out(file, std::ios::binary);
        std::string error;
        if (!sacwriter::WriteInstaller(input, out, error)) throw std::runtime_error("installer not built: " + error);
    }
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    if (bytes.size() < payload::kTrailerSize) throw std::runtime_error("installer too short");
    std::memcpy(&trailer, bytes.data() + bytes.size() - payload::kTrailerSize, payload::kTrailerSize);
}

bool RunEngine(installengine::tinstallengine& engine, const TestHost& host, const std::u16string& folder, DWORD ms) {
    engine.HandOver(host.trailer.licenseoffset, payload::ReadShortString(host.trailer.productname),
                    payload::ReadShortString(host.trailer.exename));
    if (!engine.OpenArchive()) return false;
    engine.SetInstallFolder(folder);
    engine.Start();
    return engine.WaitFor(ms);
}

std::string RegValue(HKEY root, const std::string& key, const std::string& name, bool* present) {
    if (present) *present = false;
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return "";
    char buffer[4096] = {};
    DWORD size = sizeof(buffer) - 1, type = 0;
    const LONG result = ::RegQueryValueExA(handle, name.empty() ? nullptr : name.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer), &size);
    ::RegCloseKey(handle);
    if (result != ERROR_SUCCESS || type != REG_SZ) return "";
    if (present) *present = true;
    return buffer;
}

DWORD RegDword(HKEY root, const std::string& key, const std::string& name, bool* present) {
    if (present) *present = false;
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return 0;
    DWORD value = 0, size = sizeof value, type = 0;
    const LONG result =
        ::RegQueryValueExA(handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    ::RegCloseKey(handle);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return 0;
    if (present) *present = true;
    return value;
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    ::RegCloseKey(handle);
    return true;
}

void SetRegValue(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
    HKEY handle = nullptr;
    const LONG rc = ::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot create " + key + " (error " + std::to_string(rc) + ")");
    ::RegSetValueExA(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(handle);
}

DWORD ServiceState(const std::string& name) {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? ::OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS status{};
    DWORD state = 0;
    if (service && ::QueryServiceStatus(service, &status)) state = status.dwCurrentState;
    if (service) ::CloseServiceHandle(service);
    if (manager) ::CloseServiceHandle(manager);
    return state;
}

std::u16string ServiceBinary(const std::string& name) {
    std::u16string binary;
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? ::OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG) : nullptr;
    if (service) {
        DWORD needed = 0;
        ::QueryServiceConfigW(service, nullptr, 0, &needed);
        std::string buffer(needed, '\0');
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (needed && ::QueryServiceConfigW(service, config, needed, &needed))
            binary = reinterpret_cast<const char16_t*>(config->lpBinaryPathName);
        ::CloseServiceHandle(service);
    }
    if (manager) ::CloseServiceHandle(manager);
    return binary;
}

bool Eventually(const std::function<bool()>& condition, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (condition()) return true;
        ::Sleep(20);
    }
    return condition();
}

bool ReadLink(const std::u16string& file, LinkFields& fields) {
    bool loaded = false;
    std::thread reader([&] {
        ::CoInitialize(nullptr);
        IShellLinkW* link = nullptr;
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&link))) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
            SUCCEEDED(persist->Load(reinterpret_cast<const wchar_t*>(file.c_str()), STGM_READ))) {
            wchar_t buffer[1024];
            auto text = [&] { return std::u16string(reinterpret_cast<const char16_t*>(buffer)); };
            buffer[0] = 0;
            link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
            fields.target = text();
            buffer[0] = 0;
            link->GetArguments(buffer, 1024);
            fields.arguments = text();
            buffer[0] = 0;
            link->GetDescription(buffer, 1024);
            fields.description = text();
            buffer[0] = 0;
            link->GetWorkingDirectory(buffer, 1024);
            fields.workfolder = text();
            loaded = true;
        }
        if (persist) persist->Release();
        if (link) link->Release();
        ::CoUninitialize();
    });
    reader.join();
    return loaded;
}

BoxAnswerer::BoxAnswerer(int answer) : answer_(answer) {
    thread_ = ::CreateThread(nullptr, 0, &BoxAnswerer::Run, this, 0, nullptr);
}

BoxAnswerer::~BoxAnswerer() { Join(); }

void BoxAnswerer::Join() {
    if (!thread_) return;
    ::WaitForSingleObject(thread_, 30000);
    ::CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI BoxAnswerer::Run(void* parameter) {
    auto* self = static_cast<BoxAnswerer*>(parameter);
    HWND box = nullptr;
    for (int i = 0; i < 1000 && box == nullptr; ++i) {
        box = ::FindWindowW(L"#32770", L"Confirm");
        if (box == nullptr) ::Sleep(20);
    }
    if (box == nullptr) return 0;
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 512);
    self->text_ = text;
    self->found_ = true;
    ::PostMessageW(::GetDlgItem(box, self->answer_), BM_CLICK, 0, 0);
    return 0;
}

}  // namespace enginetest
