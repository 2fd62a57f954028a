// Message loop with pre-translate filters, and the per-thread loop registry of the module.
#include "messageloop.h"

#include <algorithm>

#include "utility/lockguard.h"

namespace orv {

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
    CriticalSectionGuard guard(lock_);
    instance_ = instance;
    initialised_ = true;
}

void AppModule::Term() {
    CriticalSectionGuard guard(lock_);
    loops_.clear();
    initialised_ = false;
}

bool AppModule::AddMessageLoop(MessageLoop* loop) {
    CriticalSectionGuard guard(lock_);
    if (!initialised_ || !loop) return false;
    return loops_.emplace(::GetCurrentThreadId(), loop).second;
}

bool AppModule::RemoveMessageLoop() {
    CriticalSectionGuard guard(lock_);
    return loops_.erase(::GetCurrentThreadId()) > 0;
}

MessageLoop* AppModule::GetMessageLoop(DWORD threadId) const {
    CriticalSectionGuard guard(lock_);
    const auto it = loops_.find(threadId);
    return it == loops_.end() ? nullptr : it->second;
}

AppModule& Module() {
    static AppModule module;
    return module;
}

}  // namespace orv
