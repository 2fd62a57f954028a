// The message loop: filters see messages first and may keep them from the window; the quit code
// comes back; the module registers one loop per thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "messageloop.h"

namespace {

constexpr UINT kSeen = WM_APP + 1;
constexpr UINT kSwallowed = WM_APP + 2;

std::vector<UINT>& Dispatched() {
    static std::vector<UINT> messages;
    return messages;
}

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg >= WM_APP) Dispatched().push_back(msg);
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

class CountingFilter : public orv::MessageFilter {
public:
    explicit CountingFilter(orv::MessageLoop* loop = nullptr) : loop_(loop) {}
    bool PreTranslateMessage(MSG* msg) override {
        if (msg->message >= WM_APP) seen.push_back(msg->message);
        if (loop_ && msg->message == kSeen) loop_->RemoveMessageFilter(this);  // leaves while being asked
        return msg->message == kSwallowed;
    }
    std::vector<UINT> seen;

private:
    orv::MessageLoop* loop_;
};

class MessageWindow {
public:
    MessageWindow() {
        WNDCLASSW cls = {};
        cls.lpfnWndProc = RecordingProc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = L"OrvTestRecording";
        ::RegisterClassW(&cls);
        hwnd_ = ::CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance,
                                  nullptr);
    }
    ~MessageWindow() { ::DestroyWindow(hwnd_); }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    HWND Get() const { return hwnd_; }

private:
    HWND hwnd_;
};

TEST(MessageLoop, FiltersSeeMessagesFirstAndTheQuitCodeReturns) {
    MessageWindow window;
    ASSERT_NE(window.Get(), nullptr);
    Dispatched().clear();
    orv::MessageLoop loop;
    CountingFilter filter;
    loop.AddMessageFilter(&filter);
    ::PostMessageW(window.Get(), kSeen, 0, 0);
    ::PostMessageW(window.Get(), kSwallowed, 0, 0);
    ::PostQuitMessage(2);
    EXPECT_EQ(loop.Run(), 2);
    EXPECT_EQ(filter.seen, (std::vector<UINT>{kSeen, kSwallowed}));
    EXPECT_EQ(Dispatched(), std::vector<UINT>{kSeen});

    // Without the filter the same message reaches the window.
    loop.RemoveMessageFilter(&filter);
    ::PostMessageW(window.Get(), kSwallowed, 0, 0);
    ::PostQuitMessage(1);
    EXPECT_EQ(loop.Run(), 1);
    EXPECT_EQ(Dispatched(), (std::vector<UINT>{kSeen, kSwallowed}));
}

TEST(MessageLoop, AFilterMayRemoveItselfWhileBeingAsked) {
    MessageWindow window;
    orv::MessageLoop loop;
    CountingFilter stays;
    CountingFilter leaves(&loop);
    loop.AddMessageFilter(&stays);
    loop.AddMessageFilter(&leaves);
    ::PostMessageW(window.Get(), kSeen, 0, 0);
    ::PostMessageW(window.Get(), kSeen, 0, 0);
    ::PostQuitMessage(0);
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_EQ(leaves.seen.size(), 1u);
    EXPECT_EQ(stays.seen.size(), 2u);
}

TEST(AppModule, OneLoopPerThreadWhileInitialised) {
    orv::AppModule module;
    orv::MessageLoop first;
    orv::MessageLoop second;
    EXPECT_FALSE(module.AddMessageLoop(&first));  // not initialised yet
    module.Init(::GetModuleHandleW(nullptr));
    EXPECT_EQ(module.Instance(), ::GetModuleHandleW(nullptr));
    EXPECT_TRUE(module.AddMessageLoop(&first));
    EXPECT_FALSE(module.AddMessageLoop(&second));
    EXPECT_EQ(module.GetMessageLoop(), &first);
    EXPECT_EQ(module.GetMessageLoop(::GetCurrentThreadId() + 1), nullptr);
    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_FALSE(module.RemoveMessageLoop());
    EXPECT_TRUE(module.AddMessageLoop(&second));
    module.Term();
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    EXPECT_FALSE(module.Initialised());
}

}  // namespace
