// The system services of the product, by service name, through the local
// machine's service control manager.  Each call opens the manager and the
// service, makes one request and closes both again.  Every call answers
// false when the manager cannot be opened (for example without
// administrative rights), the service is missing or cannot be opened with
// the rights the call needs, or the request itself is refused (already
// running, already stopped, already marked for deletion).
#pragma once

#include <string>

namespace setuputil {

// True when a service of that name is registered (also one marked for
// deletion whose last handle is still open).
bool ServiceExists(const std::string& name);

// True when the service's current state is running.
bool IsServiceRunning(const std::string& name);

// True when the start request was accepted.
bool StartServiceNamed(const std::string& name);

// True when the stop request was accepted; the service may still be
// stopping when this returns.
bool StopServiceNamed(const std::string& name);

// Creates an auto-start service of its own process, running as the local
// system account, with `name` as service and display name.  A program path
// holding a blank is handed over in double quotes, so that the service
// manager cannot take a leading part of it ("C:\Program.exe") for the
// program.  False when a service of that name exists; it stays unchanged.
bool InstallService(const std::string& name, const std::u16string& programpath);

// True when the service was marked for deletion.  It goes once its last
// handle is closed and its process, if running, has ended.
bool DeleteServiceNamed(const std::string& name);

// The command line InstallService registers for `programpath`.
std::u16string ServiceCommandLine(const std::u16string& programpath);

}  // namespace setuputil
