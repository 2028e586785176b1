#pragma once
// m470ctl's own hold on the products when no window runs: the window's
// device manager, selector and pages on the in-memory control tree, started
// as the window starts them (scan, attach, first read, profile), so a
// command changes the same files and sends the same traffic as the window.
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ctl/CtlExecutor.h"
#include "pages/DeviceSelector.h"
#include "pages/PageBuilder.h"
#include "ui/MemoryControlTree.h"

namespace m470::ctl {

class HeadlessSession : public CtlTarget {
public:
    // english: the texts of device captions and messages.
    HeadlessSession(std::shared_ptr<HidBackend> backend, const LanguageTable& english);
    ~HeadlessSession() override;
    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    // Finds the products and reads each as the window does when it starts;
    // false when the layouts are missing.
    bool Start();
    // Lets the session's time run: timers due within ms fire, and work the
    // device threads handed over runs.
    void Run(int ms);

    std::vector<CVantrelUSBDevice*> Devices() const override;
    CDevicePage* PageOf(const CVantrelUSBDevice* device) const override;
    bool Reachable(const CVantrelUSBDevice* device) const override;
    PageContextSwitch& PageContexts() override { return contexts_; }
    std::vector<RefusedNode> Refused() const override { return manager_ ? manager_->Refused() : std::vector<RefusedNode>{}; }
    QuickProfileChoice& ProfileChoice() override { return choice_; }

    ui::MemoryControlHost& Host() { return host_; }
    CDeviceManager* Manager() const { return manager_.get(); }

private:
    // What pages ask when no request is running: nothing is shown, so a
    // question is not confirmed; a reset still puts the music styles back;
    // a profile choice waits as in the window.
    class QuietContext : public PageContext {
    public:
        explicit QuietContext(HeadlessSession& session) : session_(session) {}
        bool Confirm(const std::string&) override { return false; }
        void Notice(const std::string&) override {}
        void NoticeNumber(const std::string&, int) override {}
        std::optional<std::string> ChooseOpenFile(const std::string&) override { return std::nullopt; }
        std::optional<std::string> ChooseSaveFile(const std::string&) override { return std::nullopt; }
        bool Shown(const CVantrelUSBDevice&) const override { return false; }
        void ProfileChosen(CVantrelUSBDevice& device) override;
        void SameMode(CVantrelUSBDevice&) override {}
        void ResetMusicStyles() override;

    private:
        HeadlessSession& session_;
    };
    intptr_t HandleMessage(uint32_t message, intptr_t wParam, intptr_t lParam);
    void Invoke(std::function<void()> work);
    void RunHandedWork();
    // A profile choice applied once it waited as long as the window waits.
    void SettleProfileChoice();

    std::shared_ptr<HidBackend> backend_;
    const LanguageTable& english_;
    ui::MemoryControlHost host_;
    QuietContext quiet_{*this};
    PageContextSwitch contexts_{&quiet_};
    QuickProfileChoice choice_;
    int choiceWaitedMs_ = 0;
    std::unique_ptr<ui::QueuedMessageChannel> channel_;
    std::unique_ptr<CPageBuilder> pages_;
    std::unique_ptr<CDeviceSelector> selector_;
    std::unique_ptr<CDeviceManager> manager_;
    std::unique_ptr<CHidDevice> probe_;
    std::mutex handedMutex_;
    std::deque<std::function<void()>> handed_;
};

}  // namespace m470::ctl
