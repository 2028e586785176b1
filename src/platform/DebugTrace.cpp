#include "platform/DebugTrace.h"

#include <cstdio>
#include <cstdlib>
#include <deque>

#include "platform/ProcessState.h"

namespace m470 {
namespace {

struct TraceState {
    std::deque<std::string> lines;
    size_t keptBytes = 0;
    bool loaded = false;
    bool toStderr = false;
    std::FILE* logFile = nullptr;

    void LoadEnvironment() {
        const char* debug = std::getenv("M470_DEBUG");
        toStderr = debug != nullptr && std::string_view(debug) == "1";
        if (logFile != nullptr) {
            std::fclose(logFile);
            logFile = nullptr;
        }
        const char* logPath = std::getenv("M470_DEBUG_LOG");
        if (logPath != nullptr && *logPath != '\0') logFile = std::fopen(logPath, "a");
        loaded = true;
    }
};

using Trace = ProcessState<TraceState>;

}  // namespace

void DebugTrace::Write(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    Trace::With([line](TraceState& state) {
        if (!state.loaded) state.LoadEnvironment();
        state.lines.emplace_back(line);
        state.keptBytes += line.size() + kLineOverhead;
        while (state.keptBytes > kMaxKeptBytes) {
            state.keptBytes -= state.lines.front().size() + kLineOverhead;
            state.lines.pop_front();
        }
        if (state.toStderr) {
            std::fwrite(line.data(), 1, line.size(), stderr);
            std::fputc('\n', stderr);
        }
        if (state.logFile != nullptr) {
            std::fwrite(line.data(), 1, line.size(), state.logFile);
            std::fputc('\n', state.logFile);
            std::fflush(state.logFile);
        }
    });
}

void DebugTrace::Printf(const char* format, ...) {
    char stackBuffer[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, args);
    va_end(args);
    if (needed < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(needed) < sizeof stackBuffer) {
        va_end(copy);
        Write(std::string_view(stackBuffer, static_cast<size_t>(needed)));
        return;
    }
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, copy);
    va_end(copy);
    text.resize(static_cast<size_t>(needed));
    Write(text);
}

std::vector<std::string> DebugTrace::Lines() {
    return Trace::With([](TraceState& state) { return std::vector<std::string>(state.lines.begin(), state.lines.end()); });
}

void DebugTrace::Clear() {
    Trace::With([](TraceState& state) {
        state.lines.clear();
        state.keptBytes = 0;
    });
}

bool DebugTrace::Contains(std::string_view fragment) {
    return Trace::With([fragment](TraceState& state) {
        for (const std::string& line : state.lines)
            if (line.find(fragment) != std::string::npos) return true;
        return false;
    });
}

void DebugTrace::ReloadEnvironment() {
    Trace::With([](TraceState& state) { state.LoadEnvironment(); });
}

}  // namespace m470
