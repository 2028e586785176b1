#pragma once
// The SDK server's clients see our products through this host: each
// product connected now is one controller, described from its lighting
// panel and frame; modes and profiles go through the same typed functions
// m470ctl uses, Direct colours through the device's host-colour stream.
// The server calls it from its own thread; the work runs where the
// devices live (the invoker's thread) while the server waits.
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "ctl/CtlExecutor.h"
#include "sdk/SdkSession.h"

namespace m470::sdk {

inline constexpr const char* kVendor = "Vantrel";

class ProductControllers : public SdkHost {
public:
    using Invoker = std::function<void(std::function<void()>)>;
    // Without an invoker the work runs on the calling thread (tests, m470ctl).
    ProductControllers(ctl::CtlTarget& target, const LanguageTable& english, Invoker invoker = {});
    // The server stops: waits in flight end at once and no work runs any more.
    // Called on the invoker's thread, so it never falls in the middle of a
    // work item whose waiter's variables it would release.
    void Abandon();
    // Every product a client drove goes back to its effect; called on the
    // devices' thread once the server has stopped.
    void ReleaseEverything();

    size_t ControllerCount() override;
    std::optional<ControllerDescription> Describe(size_t controller) override;
    void ShowColours(int owner, size_t controller, size_t first, const std::vector<Colour>& colours) override;
    void StartDirect(int owner, size_t controller) override;
    void ReleaseDirect(int owner) override;
    void ApplyMode(int owner, size_t controller, size_t mode, const ModeDescription& settings, bool save) override;
    std::vector<std::string> ProfileNames() override;
    void LoadProfile(const std::string& name) override;

private:
    struct Waits {
        std::mutex lock;
        std::condition_variable done;
        bool abandoned = false;
    };
    // Runs work on the devices' thread and waits for it (or for Abandon).
    void OnDeviceThread(const std::function<void()>& work);
    // The products a client may drive, in the order the window made them.
    std::vector<CVantrelUSBDevice*> Products() const;
    CVantrelUSBDevice* Product(size_t controller) const;
    ControllerDescription DescribeProduct(CVantrelUSBDevice& device) const;
    void GiveBack(const std::function<bool(int owner)>& whose);
    void Drive(int owner, CVantrelUSBDevice& device, size_t first, const std::vector<Colour>& colours);
    // An m470ctl command on a product's page: its word, then the rest.
    ctl::Reply Run(CVantrelUSBDevice& device, ctl::Verb verb, std::vector<std::string> words);

    ctl::CtlTarget& target_;
    const LanguageTable& english_;
    Invoker invoker_;
    std::shared_ptr<Waits> waits_ = std::make_shared<Waits>();
    std::map<const CVantrelUSBDevice*, int> driven_;  // devices' thread only
};

}  // namespace m470::sdk
