#pragma once
// The words of an m470ctl command line, checked and sorted: which product,
// what to do with it, and the options that shape the run.
#include <optional>
#include <string>
#include <vector>

#include "device_link/KnownInterface.h"

namespace m470::ctl {

enum class Verb { Help, Version, List, Get, Set, Profile, Sdk };

struct Command {
    Verb verb = Verb::Help;
    bool json = false;
    // --virtual[=LIST]: the virtual products instead of the HID bus (direct runs only).
    std::optional<std::string> virtualSelection;
    // The product: its kind and which one of that kind (0 for "mouse", 1 for "mouse2").
    std::string product;
    DeviceKind kind = DeviceKind::Mouse;
    size_t ordinal = 0;
    // get / set: the setting, the stage or key it names (when it takes one)
    // and the value; get without a setting gives them all.
    std::string setting, index, value;
    // profile ACTION [ARGUMENT]
    std::string action, argument;
    std::string helpTopic;
};

struct ParsedCommand {
    std::optional<Command> command;
    std::string error;  // why the words are no command (exit 2)
};

ParsedCommand ParseCommand(const std::vector<std::string>& words);
// The words that say the same command again, with a file argument made
// absolute against folder: the window runs elsewhere than the shell.
std::vector<std::string> RequestWords(const Command& command, const std::string& folder);

// The product word of a kind ("mouse", "keyboard", "mousepad", "headset"),
// with the ordinal's number after the first ("mouse2").
std::string ProductWord(DeviceKind kind, size_t ordinal);

struct ProfileAction {
    const char* name;
    const char* argument;  // nullptr: takes none
    bool file;             // the argument is a file name
    const char* help;
};
const std::vector<ProfileAction>& ProfileActions();
const ProfileAction* FindProfileAction(const std::string& name);

// "mouse", "mouse2", ...: the product's kind and ordinal into command.
bool ParseProduct(const std::string& word, Command& command);

std::string UsageText();
// "help PRODUCT": the product's settings, one a line, name first (the shell
// completion reads the names); "help profile": the actions. Empty for
// another topic.
std::string TopicText(const std::string& topic);

}  // namespace m470::ctl
