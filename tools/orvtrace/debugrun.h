// DebugRun: starts a program under the Win32 debugger API and collects every string the program sends with
// OutputDebugStringW/A, in the order the program sent them.
//
// Both ways a debug string can reach a debugger are accepted:
//  - OUTPUT_DEBUG_STRING_EVENT (narrow text in the ANSI code page; this is all Wine 8 produces), converted from
//    CP_ACP to UTF-16;
//  - the DBG_PRINTEXCEPTION_WIDE_C exception that newer Windows raises first with the UTF-16 text; it is continued
//    with DBG_CONTINUE, so the narrow form of the same line is never raised and no line arrives twice.
//
// The debug loop lives on a private thread (the thread that creates a debuggee is the only one that may wait for
// its events). The process is killed if this object, or the whole runner, goes away while it still runs.
//
// Built with the MinGW win32 thread model: no std::thread/std::mutex, Win32 primitives only.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "utility/uniquehandle.h"

namespace orv {
namespace trace {

// Owns a kernel handle (process, thread, event, file): the engine's own wrapper.
using UniqueHandle = ::orv::UniqueHandle;

// Quotes one argument so that CommandLineToArgvW / the C runtime give it back unchanged
// (spaces, tabs, quotes and backslashes in front of quotes).
std::wstring QuoteArgument(const std::wstring& arg);

// program + arguments, each quoted as needed, separated by single spaces.
std::wstring BuildCommandLine(const std::wstring& program, const std::vector<std::wstring>& args);

// UTF-16 <-> UTF-8 (invalid UTF-16 becomes U+FFFD).
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

class DebugRun {
public:
    using LineCallback = std::function<void(const std::wstring& line)>;
    using LinePredicate = std::function<bool(const std::wstring& line)>;

    // Exit code given to TerminateProcess by Kill().
    static constexpr DWORD kKilledExitCode = 0xDEAD;

    DebugRun();
    // Kills the program if it still runs and waits for the debug thread.
    ~DebugRun();
    DebugRun(const DebugRun&) = delete;
    DebugRun& operator=(const DebugRun&) = delete;

    // Called on the debug thread for every line, in order, while the program is stopped at that line.
    // Set it before Start(). It must not block for long and must not call Wait()/Kill() on this object.
    void SetLineCallback(LineCallback callback);

    // Kills the program at the `occurrence`-th line that contains `text` (1: the first), while it is stopped
    // at that line: nothing it does after sending the line happens. Call it before Start().
    void KillAtLine(const std::wstring& text, unsigned occurrence = 1);

    // Also collects the lines of the processes the program starts, and of theirs (the default is the
    // program alone). Call it before Start().
    void FollowChildProcesses();

    // Starts `commandLine` (first token is the program; searched like CreateProcessW does) in `workDir`
    // (empty: the runner's current folder). Returns false when the program could not be started; then
    // StartError() holds the Win32 error and StartErrorText() a readable message. One Start per object.
    bool Start(const std::wstring& commandLine, const std::wstring& workDir = L"");

    DWORD ProcessId() const;
    DWORD StartError() const;
    std::wstring StartErrorText() const;

    // Waits until the program has exited and the debug loop has ended. On success stores the program's exit code
    // (from EXIT_PROCESS_DEBUG_EVENT). False on timeout (the program keeps running) or when never started.
    bool Wait(DWORD timeoutMs, DWORD* exitCode = nullptr);
    bool Finished() const;

    // Copy of all lines received so far (UTF-16, trailing NUL removed, otherwise as sent).
    std::vector<std::wstring> Lines() const;
    size_t LineCount() const;

    // Waits until a line at index >= startIndex satisfies `pred` (lines already received count).
    // Returns false on timeout, or at once when the program ends without such a line.
    bool WaitForLine(const LinePredicate& pred, DWORD timeoutMs, size_t startIndex = 0, size_t* foundIndex = nullptr);
    // Same, for a line that contains `substring`.
    bool WaitForLine(const std::wstring& substring, DWORD timeoutMs, size_t startIndex = 0,
                     size_t* foundIndex = nullptr);

    // Terminates the program (exit code kKilledExitCode) if it still runs. Safe to call at any time.
    void Kill();
    bool WasKilled() const;

    // Code of an exception the program did not handle (second chance), 0 when there was none.
    DWORD UnhandledExceptionCode() const;

private:
    static unsigned __stdcall ThreadMain(void* self);
    void RunThread();
    void DebugLoop();
    void Deliver(std::wstring line);
    bool ReadRemote(const void* address, size_t bytes, std::vector<unsigned char>* out) const;
    std::wstring ReadNarrowString(const void* address, size_t bytes) const;
    std::wstring ReadWideString(const void* address, size_t chars) const;

    mutable CRITICAL_SECTION lock_;
    CONDITION_VARIABLE changed_;

    LineCallback callback_;
    std::wstring killText_;   // empty: no line kills the program
    unsigned killLeft_ = 0;   // lines holding killText_ still to come before the kill
    std::wstring commandLine_;
    std::wstring workDir_;

    UniqueHandle thread_;
    UniqueHandle startedEvent_;
    UniqueHandle process_;  // from CreateProcessW; outlives the debug thread, closed by the destructor
    bool followChildren_ = false;
    // Debug thread only: every process being debugged (the handles belong to the system), the processes
    // whose loader breakpoint was seen, and the process whose string is being read.
    std::map<DWORD, HANDLE> debuggees_;
    std::set<DWORD> loaderBreakpoints_;
    HANDLE reading_ = nullptr;
    DWORD processId_ = 0;
    DWORD startError_ = 0;
    bool startOk_ = false;
    bool startCalled_ = false;

    // guarded by lock_
    std::vector<std::wstring> lines_;
    bool done_ = false;
    bool exitSeen_ = false;
    DWORD exitCode_ = 0;
    bool killed_ = false;         // TerminateProcess succeeded
    bool killRequested_ = false;  // Kill() was called; the loop gives up kKillGraceMs later
    DWORD killTick_ = 0;
    DWORD unhandledCode_ = 0;
};

}  // namespace trace
}  // namespace orv
