// Message loop with pre-translate filters, and the per-thread loop registry of the module.
#include "messageloop.h"

#include <algorithm>

namespace orv {
namespace {

class LockGuard {
public:
    explicit LockGuard(CRITICAL_SECTION& lock) : lock_(lock) { ::EnterCriticalSection(&lock_); }
    ~LockGuard() { ::LeaveCriticalSection(&lock_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

}  // namespace

void MessageLoop::AddMessageFilter(MessageFilter* filter) {
    if (filter && std::find(filters_.begin(), filters_.end(), filter) == filters_.end()) filters_.push_back(filter);
}

void MessageLoop::RemoveMessageFilter(MessageFilter* filter) {
    filters_.erase(std::remove(filters_.begin(), filters_.end(), filter), filters_.end());
}

bool MessageLoop::Filter(MSG* msg) const {
    // Newest filter first, over a copy: a filter may unregister itself (its window was destroyed).
    const std::vector<MessageFilter*> filters(filters_.rbegin(), filters_.rend());
    for (MessageFilter* filter : filters) {
        if (std::find(filters_.begin(), filters_.end(), filter) == filters_.end()) continue;
        if (filter->PreTranslateMessage(msg)) return true;
    }
    return false;
}

int MessageLoop::Run() {
    MSG msg;
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) return -1;
        if (!got) return static_cast<int>(msg.wParam);
        if (Filter(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

AppModule::AppModule() { ::InitializeCriticalSection(&lock_); }

AppModule::~AppModule() { ::DeleteCriticalSection(&lock_); }

void AppModule::Init(HINSTANCE instance) {
    LockGuard guard(lock_);
    instance_ = instance;
    initialised_ = true;
}

void AppModule::Term() {
    LockGuard guard(lock_);
    loops_.clear();
    initialised_ = false;
}

bool AppModule::AddMessageLoop(MessageLoop* loop) {
    LockGuard guard(lock_);
    if (!initialised_ || !loop) return false;
    return loops_.emplace(::GetCurrentThreadId(), loop).second;
}

bool AppModule::RemoveMessageLoop() {
    LockGuard guard(lock_);
    return loops_.erase(::GetCurrentThreadId()) > 0;
}

MessageLoop* AppModule::GetMessageLoop(DWORD threadId) const {
    LockGuard guard(lock_);
    const auto it = loops_.find(threadId);
    return it == loops_.end() ? nullptr : it->second;
}

AppModule& Module() {
    static AppModule module;
    return module;
}

}  // namespace orv
