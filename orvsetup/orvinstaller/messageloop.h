// The dialogs' message loop: messages are offered to registered filters before they are dispatched,
// and the module keeps one loop object per thread.
#pragma once

#include <windows.h>

#include <map>
#include <vector>

namespace orv {

class MessageFilter {
public:
    virtual ~MessageFilter() = default;
    // True when the filter has handled the message and it must not be dispatched.
    virtual bool PreTranslateMessage(MSG* msg) = 0;
};

class MessageLoop {
public:
    void AddMessageFilter(MessageFilter* filter);
    void RemoveMessageFilter(MessageFilter* filter);
    // Runs until WM_QUIT and returns its exit code; -1 when the thread's queue fails.
    int Run();

private:
    bool Filter(MSG* msg) const;

    std::vector<MessageFilter*> filters_;
};

// The setup module: its instance handle and the message loop registered for each thread.
class AppModule {
public:
    AppModule();
    ~AppModule();
    AppModule(const AppModule&) = delete;
    AppModule& operator=(const AppModule&) = delete;

    void Init(HINSTANCE instance);
    // Forgets every registered loop; the loops themselves belong to their creators.
    void Term();
    bool Initialised() const { return initialised_; }
    HINSTANCE Instance() const { return instance_; }

    // Registers `loop` for the calling thread; false when the module is not initialised or the thread
    // already has one.
    bool AddMessageLoop(MessageLoop* loop);
    // Unregisters the calling thread's loop; false when it had none.
    bool RemoveMessageLoop();
    MessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId()) const;

private:
    mutable CRITICAL_SECTION lock_;
    std::map<DWORD, MessageLoop*> loops_;
    HINSTANCE instance_ = nullptr;
    bool initialised_ = false;
};

// The process-wide module.
AppModule& Module();

}  // namespace orv
