#pragma once
// One holder of the products at a time: the window for its whole run, or
// m470ctl for one command when no window runs. An flock on "M470.lock"
// beside the instance socket; the kernel lets it go when its holder ends.
#include <string>

namespace m470 {

class ProductLock {
public:
    ProductLock() = default;
    ~ProductLock();
    ProductLock(const ProductLock&) = delete;
    ProductLock& operator=(const ProductLock&) = delete;

    // Waits up to waitMs for the lock; false, with why set, when it stays taken
    // or the lock file cannot be made.
    bool Acquire(int waitMs, std::string* why = nullptr);
    void Release();
    bool Held() const { return fd_ >= 0; }
    static std::string Path(std::string* error = nullptr);

private:
    int fd_ = -1;
};

}  // namespace m470
