// The service operations against the real service manager, with the real
// service program testservice.exe built next to this test.
#include "setuputil/services.hpp"

#include "tests/unit/tempdir.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

using namespace setuputil;
using testing_support::TempDir;

namespace {

// The service manager answers asynchronously: a started service reports
// running a little later, a deleted one lingers while handles are open.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 15000) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

struct ScHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScHandleCloser>;

ScHandle OpenManager() { return ScHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

bool ServiceExists(const std::string& name) {
    ScHandle manager = OpenManager();
    ScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    return service != nullptr;
}

DWORD ServiceState(const std::string& name) {
    ScHandle manager = OpenManager();
    ScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.get(), &status)) return 0;
    return status.dwCurrentState;
}

struct ServiceConfig {
    std::u16string command;
    std::u16string displayName;
    DWORD serviceType = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
};

ServiceConfig ReadConfig(const std::string& name) {
    ServiceConfig config;
    ScHandle manager = OpenManager();
    ScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
    if (!service) return config;
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::string buffer(needed, '\0');
    auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.get(), q, needed, &needed)) return config;
    config.command = reinterpret_cast<const char16_t*>(q->lpBinaryPathName);
    config.displayName = reinterpret_cast<const char16_t*>(q->lpDisplayName);
    config.serviceType = q->dwServiceType;
    config.startType = q->dwStartType;
    config.errorControl = q->dwErrorControl;
    return config;
}

// Stops and deletes a service of the given name, before and after a test, so
// that a failed run leaves nothing behind for the next one.
void RemoveService(const std::string& name) {
    {
        ScHandle manager = OpenManager();
        ScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
        if (!service) return;
        SERVICE_STATUS status{};
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        WaitFor([&] { return ServiceState(name) == SERVICE_STOPPED; }, 5000);
        DeleteService(service.get());
    }
    WaitFor([&] { return !ServiceExists(name); });
}

std::filesystem::path TestServiceProgram() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path() / "testservice.exe";
}

class Services : public testing::Test {
protected:
    static constexpr const char* kName = "TallowinTestService";
    static constexpr const char* kOther = "TallowinTestService2";

    void SetUp() override {
        RemoveService(kName);
        RemoveService(kOther);
        ASSERT_TRUE(std::filesystem::exists(TestServiceProgram())) << TestServiceProgram();
        const auto blankFolder = dir_.path() / "service folder";
        const auto plainFolder = dir_.path() / "plain";
        std::filesystem::create_directories(blankFolder);
        std::filesystem::create_directories(plainFolder);
        std::filesystem::copy_file(TestServiceProgram(), blankFolder / "testservice.exe");
        std::filesystem::copy_file(TestServiceProgram(), plainFolder / "testservice.exe");
        blankPath_ = (blankFolder / "testservice.exe").u16string();
        plainPath_ = (plainFolder / "testservice.exe").u16string();
        ASSERT_EQ(plainPath_.find(u' '), std::u16string::npos) << "the temporary folder holds a blank";
    }
    void TearDown() override {
        RemoveService(kName);
        RemoveService(kOther);
    }

    TempDir dir_;
    std::u16string blankPath_;
    std::u16string plainPath_;
};

TEST_F(Services, InstallStartStopDeleteWithABlankInThePath) {
    ASSERT_TRUE(InstallService(kName, blankPath_));
    const ServiceConfig config = ReadConfig(kName);
    EXPECT_EQ(config.command, u"\"" + blankPath_ + u"\"");
    EXPECT_EQ(config.displayName, u"TallowinTestService");
    EXPECT_EQ(config.serviceType & 0xFF, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config.errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));

    EXPECT_FALSE(IsServiceRunning(kName));
    EXPECT_FALSE(StopServiceNamed(kName)) << "stopping a stopped service is refused";

    ASSERT_TRUE(StartServiceNamed(kName));
    EXPECT_TRUE(WaitFor([] { return IsServiceRunning(kName); }));
    EXPECT_FALSE(StartServiceNamed(kName)) << "starting a running service is refused";

    EXPECT_TRUE(StopServiceNamed(kName));
    EXPECT_TRUE(WaitFor([] { return ServiceState(kName) == SERVICE_STOPPED; }));
    EXPECT_FALSE(IsServiceRunning(kName));

    EXPECT_TRUE(DeleteServiceNamed(kName));
    EXPECT_TRUE(WaitFor([] { return !ServiceExists(kName); }));
    EXPECT_FALSE(DeleteServiceNamed(kName));
}

TEST_F(Services, SecondInstallOfTheSameNameFailsAndKeepsTheFirst) {
    ASSERT_TRUE(InstallService(kName, blankPath_));
    EXPECT_FALSE(InstallService(kName, plainPath_));
    EXPECT_FALSE(InstallService("tallowintestservice", plainPath_)) << "service names ignore case";
    EXPECT_EQ(ReadConfig(kName).command, u"\"" + blankPath_ + u"\"");
    // The first one still works as installed.
    ASSERT_TRUE(StartServiceNamed(kName));
    EXPECT_TRUE(WaitFor([] { return IsServiceRunning(kName); }));
}

TEST_F(Services, PathWithoutBlankIsHandedOverAsIs) {
    ASSERT_TRUE(InstallService(kOther, plainPath_));
    EXPECT_EQ(ReadConfig(kOther).command, plainPath_);
    ASSERT_TRUE(StartServiceNamed(kOther));
    EXPECT_TRUE(WaitFor([] { return IsServiceRunning(kOther); }));
    EXPECT_TRUE(StopServiceNamed(kOther));
    EXPECT_TRUE(WaitFor([] { return !IsServiceRunning(kOther); }));
}

TEST_F(Services, MissingServiceAnswersFalseEverywhere) {
    const std::string missing = "TallowinNoSuchService";
    ASSERT_FALSE(ServiceExists(missing));
    EXPECT_FALSE(IsServiceRunning(missing));
    EXPECT_FALSE(StartServiceNamed(missing));
    EXPECT_FALSE(StopServiceNamed(missing));
    EXPECT_FALSE(DeleteServiceNamed(missing));
    EXPECT_FALSE(IsServiceRunning(""));
    EXPECT_FALSE(InstallService("", plainPath_));
    EXPECT_FALSE(ServiceExists(missing));
}

}  // namespace
