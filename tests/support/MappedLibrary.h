#pragma once
// Whether a file whose path holds fragment is mapped into this process now.
#include <fstream>
#include <string>

namespace m470::test {

inline bool Mapped(const std::string& fragment) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}

}  // namespace m470::test
