#include "ctl/CtlRun.h"

#include <cstdlib>

#include "audio/AudioLibrary.h"
#include "ctl/CtlClient.h"
#include "ctl/CtlCommand.h"
#include "ctl/HeadlessSession.h"
#include "platform/Folders.h"
#include "platform/InstanceSocket.h"
#include "platform/ProductLock.h"
#include "sim/VirtualDeviceHub.h"

namespace m470::ctl {
namespace {

Reply Refused(const std::string& why) { return {kExitRefused, {}, "m470ctl: " + why + "\n"}; }

// The command line's choice first, then the environment's.
std::optional<std::string> VirtualSelection(const Command& command) {
    if (command.virtualSelection) return command.virtualSelection;
    if (const char* chosen = std::getenv("M470_VIRTUAL"); chosen != nullptr && *chosen != '\0') return std::string(chosen);
    return std::nullopt;
}

bool LoadEnglish(LanguageTable& english) { return english.Load(GetInstallFolder() + "skin/lang/en.json"); }

// The products and pages of a run without a window.
Reply RunDirect(const Command& command, const RunSettings& settings) {
    std::shared_ptr<HidBackend> backend = settings.backend;
    std::unique_ptr<VirtualDeviceHub> hub;
    if (!backend) {
        if (const auto selection = VirtualSelection(command)) {
            std::string error;
            const auto names = ParseVirtualSelection(*selection, error);
            if (!names) return {kExitUsage, {}, "m470ctl: virtual products: " + error + "\n"};
            hub = std::make_unique<VirtualDeviceHub>();
            hub->PlugAll(*names);
            backend = hub->Backend();
            SetDefaultAudioLibraryPath(AudioLibraryPath(true));
        } else {
            backend = DefaultHidBackend();
        }
    }
    LanguageTable english;
    if (!LoadEnglish(english)) return Refused("the language table is missing beside m470ctl");
    HeadlessSession session(backend, english);
    if (!session.Start()) return Refused("the layouts are missing beside m470ctl (" + GetInstallFolder() + "skin/)");
    CtlExecutor executor(session, english);
    return executor.Execute(command);
}

// Commands that need no product: help, the version, the SDK switch.
Reply WithoutProducts(const Command& command) {
    LanguageTable english;
    LoadEnglish(english);  // the key functions' names; without it their language keys
    struct NoProducts : CtlTarget {
        std::vector<CVantrelUSBDevice*> Devices() const override { return {}; }
        CDevicePage* PageOf(const CVantrelUSBDevice*) const override { return nullptr; }
        bool Reachable(const CVantrelUSBDevice*) const override { return false; }
        PageContextSwitch& PageContexts() override { return contexts; }
        QuickProfileChoice& ProfileChoice() override { return choice; }
        PageContextSwitch contexts{nullptr};
        QuickProfileChoice choice;
    } nothing;
    return CtlExecutor(nothing, english).Execute(command);
}

}  // namespace

Reply RunCommandLine(const std::vector<std::string>& words, const RunSettings& settings) {
    const ParsedCommand parsed = ParseCommand(words);
    if (!parsed.command) return {kExitUsage, {}, "m470ctl: " + parsed.error + "\nTry m470ctl --help.\n"};
    const Command& command = *parsed.command;
    if (command.verb == Verb::Help || command.verb == Verb::Version) return WithoutProducts(command);
    std::string error;
    const std::string socket = InstanceSocketPath(&error);
    const std::vector<std::string> request = RequestWords(command, settings.workingFolder);
    const WindowAnswer answer = AskWindow(socket, request, settings.answerMs);
    if (answer.delivery == Delivery::Answered) return answer.reply;
    if (answer.delivery == Delivery::Failed) return Refused(answer.why);
    if (answer.delivery == Delivery::TooLong) return {kExitUsage, {}, "m470ctl: " + answer.why + "\n"};
    if (command.verb == Verb::Sdk) return WithoutProducts(command);  // no window: only the switch is kept
    // No window: this run holds the products until it ends.
    ProductLock lock;
    if (!lock.Acquire(settings.lockMs, &error)) return Refused(error);
    // The same command with its file made absolute; --virtual is a direct run's own.
    Command direct = ParseCommand(request).command.value_or(command);
    direct.virtualSelection = command.virtualSelection;
    return RunDirect(direct, settings);
}

}  // namespace m470::ctl
