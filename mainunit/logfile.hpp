// The run's log (/LOG=): UTF-8 lines appended to a file.
//
// Each line is one write straight to the file, made before the step it
// names begins, so a run that crashes leaves the log up to its last step.
// A line starts with the local time and the milliseconds since the log was
// opened ("2026-12-09 07:31:02.123 +1234 ms  text"); a line break inside a
// text becomes a blank.  The wizard's thread and the install worker write
// lines at the same time: a lock keeps them whole.
#pragma once

#include "gui/handles.hpp"

#include <windows.h>

#include <string>

namespace mainunit {

class LogFile {
public:
    LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile();

    // Opens `path` for appending, creating it when missing.
    bool Open(const std::u16string& path);
    bool IsOpen() const { return static_cast<bool>(file_); }
    // Does nothing while the log is not open.
    void Line(const std::u16string& text);

private:
    gui::KernelHandle file_;
    DWORD opened_ = 0;  // tick count at Open
    CRITICAL_SECTION lock_;
};

}  // namespace mainunit
