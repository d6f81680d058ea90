// A termination guard: runs its clean-up on every way out of a block unless
// dismissed. Used where a lock is held or a kernel object is being built.
// A guard left without a name would run its clean-up at once: the compiler
// says so.
#pragma once

#include <utility>

template <class F>
class [[nodiscard]] CScopeGuard {
public:
    explicit CScopeGuard(F fn) : m_fn(std::move(fn)), m_bActive(true) {}
    CScopeGuard(CScopeGuard&& other) noexcept : m_fn(std::move(other.m_fn)), m_bActive(other.m_bActive)
    {
        other.m_bActive = false;
    }
    ~CScopeGuard()
    {
        if (m_bActive)
            m_fn();
    }
    CScopeGuard(const CScopeGuard&) = delete;
    CScopeGuard& operator=(const CScopeGuard&) = delete;
    CScopeGuard& operator=(CScopeGuard&&) = delete;

    void Dismiss() { m_bActive = false; }

private:
    F m_fn;
    bool m_bActive;
};

template <class F>
[[nodiscard]] CScopeGuard<F> MakeScopeGuard(F fn)
{
    return CScopeGuard<F>(std::move(fn));
}
