#pragma once
// Waits for a condition a running system meets soon: it is looked at again
// every few milliseconds, and the wait gives up only after a limit generous
// enough for a loaded machine (it ends as soon as the condition holds).
#include <chrono>
#include <thread>

namespace m470::test {

inline constexpr auto kGenerousWait = std::chrono::seconds(30);

template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = kGenerousWait) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace m470::test
