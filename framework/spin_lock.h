// The module's own lock, for work that must be serialised even when the host's mutex cannot be
// had: a flag spun on, yielding between tries, held for the guard's scope.
#ifndef OSTREVIN_FRAMEWORK_SPIN_LOCK_H
#define OSTREVIN_FRAMEWORK_SPIN_LOCK_H

#include <atomic>
#include <thread>

namespace ostrevin {

class SpinGuard {
public:
    explicit SpinGuard(std::atomic_flag &flag) noexcept : flag(flag)
    {
        while (flag.test_and_set(std::memory_order_acquire))
            std::this_thread::yield();
    }
    ~SpinGuard() { flag.clear(std::memory_order_release); }
    SpinGuard(const SpinGuard &) = delete;
    SpinGuard &operator=(const SpinGuard &) = delete;

private:
    std::atomic_flag &flag;
};

} // namespace ostrevin

#endif
