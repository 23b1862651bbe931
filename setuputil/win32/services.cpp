#include "setuputil/services.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace setuputil {

namespace {

// A service manager or service handle, closed when it goes out of scope.
class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ~ServiceHandle() {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
    }
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

// Opens the manager with `manageraccess` and the service with
// `serviceaccess`, then runs `request` on the service handle.  The service
// handle is closed before the manager's.
template <typename Request>
bool WithService(const std::string& name, DWORD manageraccess, DWORD serviceaccess, Request request) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, manageraccess));
    if (!manager) return false;
    ServiceHandle service(OpenServiceA(manager.get(), name.c_str(), serviceaccess));
    if (!service) return false;
    return request(service.get());
}

}  // namespace

bool ServiceExists(const std::string& name) {
    return WithService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS, [](SC_HANDLE) { return true; });
}

bool IsServiceRunning(const std::string& name) {
    return WithService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS, [](SC_HANDLE service) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service, &status)) return false;
        return status.dwCurrentState == SERVICE_RUNNING;
    });
}

bool StartServiceNamed(const std::string& name) {
    return WithService(name, SC_MANAGER_ALL_ACCESS, SERVICE_START,
                       [](SC_HANDLE service) { return StartServiceA(service, 0, nullptr) != 0; });
}

bool StopServiceNamed(const std::string& name) {
    return WithService(name, SC_MANAGER_ALL_ACCESS, SERVICE_STOP, [](SC_HANDLE service) {
        SERVICE_STATUS status{};
        return ControlService(service, SERVICE_CONTROL_STOP, &status) != 0;
    });
}

bool DeleteServiceNamed(const std::string& name) {
    return WithService(name, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS,
                       [](SC_HANDLE service) { return DeleteService(service) != 0; });
}

bool InstallService(const std::string& name, const std::u16string& programpath) {
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return false;
    const std::u16string wideName = AnsiToWide(name);
    const std::u16string command = ServiceCommandLine(programpath);
    ServiceHandle service(CreateServiceW(manager.get(), WinStr(wideName), WinStr(wideName), SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                         WinStr(command), nullptr, nullptr, nullptr, nullptr, nullptr));
    return static_cast<bool>(service);
}

}  // namespace setuputil
