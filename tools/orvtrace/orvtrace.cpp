// orvtrace.exe: runs a program under the debugger API and prints every debug string it sends, as it arrives.
//
//   orvtrace.exe [--timeout MS] [--kill-at TEXT [--kill-at-count N]] [--] PROGRAM [ARGS...]
//
// Each line goes to stdout as UTF-8 (or through the console API when stdout is a console). A line that does not
// end in a newline gets "\n" appended for display; other text is passed on unchanged. The exit code is the
// program's; 255 (and a message on stderr) when it cannot be started; 254 when --timeout expired and the program
// was killed; 253 when it was killed at the N-th (default first) line that contains TEXT, while stopped there.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "debugrun.h"

namespace {

constexpr int kExitCannotStart = 255;
constexpr int kExitTimeout = 254;
constexpr int kExitKilledAtLine = 253;

// Unbuffered writer for a standard handle: a console gets UTF-16 via WriteConsoleW, a pipe or file gets UTF-8 via
// WriteFile. After the reader has gone (broken pipe) further output is dropped; the program keeps running.
class StdWriter {
public:
    explicit StdWriter(DWORD which) : handle_(::GetStdHandle(which)) {
        DWORD mode = 0;
        usable_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
        console_ = usable_ && ::GetConsoleMode(handle_, &mode);
    }

    void Write(const std::wstring& text) {
        if (!usable_ || text.empty()) return;
        if (console_) {
            const wchar_t* p = text.data();
            size_t left = text.size();
            while (left > 0) {
                DWORD done = 0;
                DWORD chunk = static_cast<DWORD>(left > 16384 ? 16384 : left);
                if (!::WriteConsoleW(handle_, p, chunk, &done, nullptr) || done == 0) {
                    usable_ = false;
                    return;
                }
                p += done;
                left -= done;
            }
            return;
        }
        std::string bytes = orv::trace::ToUtf8(text);
        const char* p = bytes.data();
        size_t left = bytes.size();
        while (left > 0) {
            DWORD done = 0;
            DWORD chunk = static_cast<DWORD>(left > (1u << 20) ? (1u << 20) : left);
            if (!::WriteFile(handle_, p, chunk, &done, nullptr) || done == 0) {
                usable_ = false;
                return;
            }
            p += done;
            left -= done;
        }
    }

private:
    HANDLE handle_;
    bool usable_ = false;
    bool console_ = false;
};

void Usage(StdWriter& err) {
    err.Write(L"usage: orvtrace.exe [--timeout MS] [--kill-at TEXT [--kill-at-count N]] [--] PROGRAM [ARGS...]\n"
              L"Runs PROGRAM and prints its debug strings (UTF-8) as they arrive; exits with its exit code.\n"
              L"--kill-at ends PROGRAM at the N-th line holding TEXT, before it goes on (exit code 253).\n");
}

bool ParseMs(const wchar_t* text, DWORD* out) {
    if (!text || !*text) return false;
    wchar_t* end = nullptr;
    unsigned long long v = std::wcstoull(text, &end, 10);
    if (*end != L'\0' || v >= INFINITE) return false;
    *out = static_cast<DWORD>(v);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    StdWriter out(STD_OUTPUT_HANDLE);
    StdWriter err(STD_ERROR_HANDLE);

    DWORD timeoutMs = INFINITE;
    std::wstring killText;
    DWORD killCount = 1;
    int i = 1;
    for (; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--") {
            ++i;
            break;
        }
        if (a == L"--help" || a == L"-h" || a == L"/?") {
            Usage(err);
            return kExitCannotStart;
        }
        if (a == L"--timeout" || a.rfind(L"--timeout=", 0) == 0) {
            const wchar_t* value = nullptr;
            if (a == L"--timeout")
                value = (i + 1 < argc) ? argv[++i] : nullptr;
            else
                value = argv[i] + 10;
            if (!ParseMs(value, &timeoutMs)) {
                err.Write(L"orvtrace: --timeout needs a number of milliseconds\n");
                return kExitCannotStart;
            }
            continue;
        }
        if (a == L"--kill-at" || a == L"--kill-at-count") {
            const wchar_t* value = (i + 1 < argc) ? argv[++i] : nullptr;
            const bool text = a == L"--kill-at";
            if (text ? (!value || !*value) : (!ParseMs(value, &killCount) || killCount == 0)) {
                err.Write(text ? L"orvtrace: --kill-at needs a text\n" : L"orvtrace: --kill-at-count needs a number above 0\n");
                return kExitCannotStart;
            }
            if (text) killText = value;
            continue;
        }
        break;  // first non-option: the program
    }
    if (i >= argc) {
        Usage(err);
        return kExitCannotStart;
    }

    std::vector<std::wstring> args(argv + i + 1, argv + argc);
    const std::wstring commandLine = orv::trace::BuildCommandLine(argv[i], args);

    orv::trace::DebugRun run;
    if (!killText.empty()) run.KillAtLine(killText, killCount);
    run.SetLineCallback([&out](const std::wstring& line) {
        if (!line.empty() && line.back() == L'\n') {
            out.Write(line);
        } else {
            out.Write(line + L"\n");
        }
    });
    if (!run.Start(commandLine)) {
        err.Write(L"orvtrace: cannot start " + commandLine + L": " + run.StartErrorText() + L"\n");
        return kExitCannotStart;
    }

    DWORD exitCode = 0;
    if (!run.Wait(timeoutMs, &exitCode)) {
        run.Kill();
        run.Wait(INFINITE, &exitCode);
        err.Write(L"orvtrace: " + std::wstring(argv[i]) + L" still running after " + std::to_wstring(timeoutMs) +
                  L" ms; killed\n");
        return kExitTimeout;
    }
    if (!killText.empty() && run.WasKilled()) return kExitKilledAtLine;
    return static_cast<int>(exitCode);
}
