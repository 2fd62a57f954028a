// Runs a callable when the enclosing scope ends, on every path out of it.
#pragma once

#include <utility>

namespace orv {

template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F fn) : fn_(std::move(fn)) {}
    ScopeExit(ScopeExit&& other) noexcept : fn_(std::move(other.fn_)), armed_(other.armed_) { other.armed_ = false; }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (armed_) fn_();
    }
    // Keeps the callable from running (the resource was handed on).
    void Dismiss() { armed_ = false; }

private:
    F fn_;
    bool armed_ = true;
};

template <typename F>
ScopeExit<F> MakeScopeExit(F fn) {
    return ScopeExit<F>(std::move(fn));
}

}  // namespace orv
