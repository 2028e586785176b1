#include "shell/CommandLine.h"

#include <charconv>

namespace m470 {
namespace {

// The toolkit's own options (QApplication takes them): passed through.
struct ToolkitOption {
    const char* name;
    bool takesValue;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"-platform", true}, {"-platformpluginpath", true}, {"-platformtheme", true}, {"-plugin", true},
    {"-qwindowgeometry", true}, {"-qwindowtitle", true}, {"-qwindowicon", true}, {"-style", true},
    {"-stylesheet", true}, {"-display", true}, {"-geometry", true}, {"-reverse", false},
};

// True when arguments[i] is a toolkit option; i then moves past its value.
bool SkipToolkitOption(const std::vector<std::string>& arguments, size_t& i) {
    for (const ToolkitOption& option : kToolkitOptions) {
        if (arguments[i] != option.name && arguments[i] != std::string("-") + option.name) continue;
        if (option.takesValue && i + 1 < arguments.size()) ++i;
        return true;
    }
    return false;
}

// Takes the value of an option that needs one; false when it is missing.
bool TakeValue(const std::vector<std::string>& arguments, size_t& i, std::string& value) {
    if (i + 1 >= arguments.size() || arguments[i + 1].rfind("--", 0) == 0) return false;
    value = arguments[++i];
    return true;
}

void ParseSend(const std::vector<std::string>& arguments, size_t& i, CommandLine& line) {
    std::string name;
    if (!TakeValue(arguments, i, name)) {
        line.error = "--send needs a message name";
        return;
    }
    // One word: the running copy reads "NAME WPARAM LPARAM" split at blanks.
    if (name.empty() || name.find_first_of(" \t\r\n\v\f") != std::string::npos) {
        line.error = "--send: the message name must be one word";
        return;
    }
    line.sendName = name;
    for (intptr_t* target : {&line.sendWParam, &line.sendLParam}) {
        if (i + 1 >= arguments.size() || arguments[i + 1].rfind("--", 0) == 0) return;
        const std::string& text = arguments[++i];
        const auto number = ParseMessageNumber(text);
        if (!number) {
            line.error = "--send: \"" + text + "\" is not a number in range";
            return;
        }
        *target = *number;
    }
}

}  // namespace

std::optional<intptr_t> ParseMessageNumber(const std::string& text) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    intptr_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") line.help = true;
        else if (argument == "--version") line.version = true;
        else if (argument == "--virtual") line.wantVirtual = true;
        else if (argument == "--tray") line.tray = true;
        else if (argument == "--script") {
            if (!TakeValue(arguments, i, line.script)) line.error = "--script needs a file";
        } else if (argument == "--screenshot") {
            if (!TakeValue(arguments, i, line.screenshot)) line.error = "--screenshot needs a file";
        } else if (argument == "--send") {
            ParseSend(arguments, i, line);
        } else if (!SkipToolkitOption(arguments, i)) {
            line.error = "unknown option \"" + argument + "\"";
        }
    }
    return line;
}

const char* UsageText() {
    return "usage: m470 [--virtual] [--tray] [--script FILE] [--screenshot FILE.png]\n"
           "       m470 --send NAME [WPARAM [LPARAM]]   send one message to the running copy\n"
           "       m470 --version | --help\n"
           "\n"
           "  --virtual          run against the virtual products (or set M470_VIRTUAL)\n"
           "  --tray             start hidden in the system tray (shown when there is no tray)\n"
           "  --script FILE      play the UI actions of FILE, then exit\n"
           "  --screenshot FILE  save a picture of the window when the run ends\n"
           "  --send NAME ...    e.g. --send Game_Start 0 3; numbers are decimal\n";
}

}  // namespace m470
