// What the engine tests share: a wizard stand-in that records what the
// engine does to it, installers built from items, and readers for the
// registry, services and shortcut files the engine leaves.
#pragma once

#include "installengine/installhost.hpp"
#include "installengine/tinstallengine.hpp"
#include "payload/setuptrailer.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/dialogs.hpp"
#include "tools/sacwriter/sacwriter.hpp"

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace enginetest {

class TestHost : public installengine::InstallHost {
public:
    payload::tsetuptrailer trailer{};
    std::vector<int> positions;
    int finished = 0;
    bool failedflag = false;
    std::u16string destfolder;
    std::vector<std::string> events;  // page and text changes of the uninstall
    std::function<void(int)> onprogress;
    bool watched = true;  // false: an unattended run

    const payload::tsetuptrailer& Trailer() const override { return trailer; }
    HWND OwnerWindow() const override { return nullptr; }
    bool Watched() const override { return watched; }
    void SetInstallProgress(int position) override {
        positions.push_back(position);
        if (onprogress) onprogress(position);
    }
    void SetInstallFailed(bool failed) override { failedflag = failed; }
    void InstallFinished() override { ++finished; }
    // The update's question about a held file: Cancel unless `onfileinuse` answers otherwise.
    std::function<FileInUseAnswer(const std::u16string&)> onfileinuse;
    std::vector<std::u16string> fileinuse;
    FileInUseAnswer AnswerFileInUse(const std::u16string& file, const installengine::FileHolders&) override {
        fileinuse.push_back(file);
        return onfileinuse ? onfileinuse(file) : FileInUseAnswer::Cancel;
    }
    std::u16string& DestFolder() override { return destfolder; }
    void UninstallStarted(const std::u16string& title, const std::u16string& label) override {
        events.push_back("installing page");
        events.push_back("title " + setuputil::WideToAnsi(title));
        events.push_back("label " + setuputil::WideToAnsi(label));
    }
    void ProcessMessages() override {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    void UninstallFinished(const std::u16string& kept) override {
        events.push_back("finish page");
        this->kept = kept;
    }
    std::u16string kept;
    void UninstallStopped(const std::u16string& reason) override {
        events.push_back("stopped " + std::string(reason.begin(), reason.end()));
    }
    // The wizard's question box, so that BoxAnswerer answers it.
    bool Ask(const std::u16string& question) override { return setuputil::AskYesNo(nullptr, question, u"Confirm"); }
    // Lines come from the worker while the test's thread may read: read
    // them only after the run.
    void Log(const std::u16string& line) override {
        ::EnterCriticalSection(&loglock_);
        log.push_back(line);
        ::LeaveCriticalSection(&loglock_);
    }
    std::vector<std::u16string> log;

    TestHost() { ::InitializeCriticalSection(&loglock_); }
    ~TestHost() override { ::DeleteCriticalSection(&loglock_); }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

private:
    CRITICAL_SECTION loglock_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
std::filesystem::path ProgramFolder();
// Writes the installer and loads its trailer into `trailer`.
void BuildInstaller(const std::filesystem::path& file, const sacwriter::InstallerInput& input,
                    payload::tsetuptrailer& trailer);

// Hands `engine` the product of `host`'s trailer, opens the archive,
// installs into `folder` and waits for the run's end: false when the
// archive does not open or the run outlasts `ms`.
bool RunEngine(installengine::tinstallengine& engine, const TestHost& host, const std::u16string& folder,
               DWORD ms = 120000);

std::string RegValue(HKEY root, const std::string& key, const std::string& name, bool* present = nullptr);
// A REG_DWORD value; `present` false (and 0) when missing or of another type.
DWORD RegDword(HKEY root, const std::string& key, const std::string& name, bool* present = nullptr);
bool KeyExists(HKEY root, const std::string& key);
void SetRegValue(HKEY root, const std::string& key, const std::string& name, const std::string& value);

DWORD ServiceState(const std::string& name);  // 0 when the service does not exist
std::u16string ServiceBinary(const std::string& name);
// Polls until `condition` holds, at most `ms`.
bool Eventually(const std::function<bool()>& condition, int ms = 15000);

struct LinkFields {
    std::u16string target, arguments, description, workfolder;
};
bool ReadLink(const std::u16string& file, LinkFields& fields);

// Clicks `answer` in the "Confirm" box as soon as it shows; `seen` gets its text.
class BoxAnswerer {
public:
    BoxAnswerer(int answer);
    ~BoxAnswerer();
    bool found() const { return found_; }
    const std::wstring& text() const { return text_; }
    void Join();

private:
    HANDLE thread_ = nullptr;
    int answer_;
    volatile bool found_ = false;
    std::wstring text_;
    static DWORD WINAPI Run(void* self);
};

}  // namespace enginetest
