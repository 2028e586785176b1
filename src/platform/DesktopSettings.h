#pragma once
// The desktop's own settings store: GNOME's GSettings, reached through its
// command-line tool so that the program needs no GLib link and works
// unchanged where the tool is absent (no desktop values then).
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace m470 {

class StopEvent;

// How long a desktop tool may take before it is killed, and an event that
// ends it at once (its worker being stopped). A hung session bus must not
// keep a tool, or whoever waits for it, forever.
struct ToolLimit {
    std::chrono::milliseconds time{5000};
    const StopEvent* stop = nullptr;
};

// Runs program (looked up on PATH) with arguments, standard input from
// /dev/null; its standard output is returned when it ends with status 0.
// A tool still running at the limit is killed with everything it started,
// and gives nothing.
std::optional<std::string> RunForOutput(const std::vector<std::string>& command, const ToolLimit& limit = {});
// A tool's answer without the line end and spaces after it.
std::string TrimmedAnswer(std::string text);

class DesktopSettings {
public:
    // tool: the gsettings program to run; tests keep the default and give
    // the environment a private backend.
    explicit DesktopSettings(std::string tool = "gsettings") : tool_(std::move(tool)) {}
    void SetLimit(const ToolLimit& limit) { limit_ = limit; }
    // The key's value as the tool prints it ("0.5", "'flat'", "400"); nothing
    // without the tool, the schema or the key.
    std::optional<std::string> Get(const std::string& schema, const std::string& key) const;
    // value in the tool's text form; false when it was not taken.
    bool Set(const std::string& schema, const std::string& key, const std::string& value) const;

private:
    std::string tool_;
    ToolLimit limit_;
};

}  // namespace m470
