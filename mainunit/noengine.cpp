// The engine seam for builds without the install engine: the wizard runs
// and every page can be reached, but nothing is installed or removed.  An
// install ends with the usual installation error, an uninstall with an
// error box; neither touches the machine.
#include "gui/dialogs.hpp"
#include "gui/thread.hpp"
#include "mainunit/installseam.hpp"

namespace mainunit {

namespace {

constexpr char16_t kMissing[] = u"This build has no install engine.";

class MissingEngine : public gui::Thread, public InstallWorker {
public:
    explicit MissingEngine(WizardHost& host) : host_(host) {}
    ~MissingEngine() override {
        // Thread's own destructor stops the body; nothing of ours is left.
    }
    void HandOver(std::int64_t, const std::string&, const std::string&) override {}
    bool OpenArchive() override { return true; }
    std::u16string ErrorText() const override { return kMissing; }
    void SetInstallFolder(const std::u16string&) override {}
    void Start() override { gui::Thread::Start(); }
    void Suspend() override { gui::Thread::Suspend(); }
    void Resume() override { gui::Thread::Resume(); }
    void Terminate() override { gui::Thread::Terminate(); }
    bool WaitFor(unsigned long milliseconds) override { return gui::Thread::WaitFor(milliseconds); }

protected:
    void Execute() override {
        if (Terminated()) return;
        Synchronize([this] {
            host_.SetInstallFailed(true);
            host_.InstallFinished();
        });
    }

private:
    WizardHost& host_;
};

}  // namespace

std::unique_ptr<InstallWorker> CreateInstallWorker(WizardHost& host) { return std::make_unique<MissingEngine>(host); }

void RunUninstallSequence(WizardHost& host) {
    host.ShowInstallingPage();
    host.SetInstallingTitle("Performing Uninstall");
    gui::ShowErrorMessage(host.WizardWindow(), kMissing);
}

}  // namespace mainunit
