#include "debugrun.h"

#include <process.h>

#include <algorithm>
#include <cstring>

namespace orv {
namespace trace {
namespace {

constexpr DWORD kPrintExceptionNarrow = 0x40010006;  // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintExceptionWide = 0x4001000A;    // DBG_PRINTEXCEPTION_WIDE_C
constexpr DWORD kWx86Breakpoint = 0x4000001F;        // STATUS_WX86_BREAKPOINT (loader breakpoint under WoW64)
constexpr size_t kMaxStringBytes = 4u << 20;         // longest debug string read from the program
constexpr DWORD kPollMs = 100;                       // debug loop wake-up while no event arrives
constexpr DWORD kKillGraceMs = 5000;                 // after Kill(): how long to wait for the exit event

class Lock {
public:
    explicit Lock(CRITICAL_SECTION* cs) : cs_(cs) { ::EnterCriticalSection(cs_); }
    ~Lock() { ::LeaveCriticalSection(cs_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CRITICAL_SECTION* cs_;
};

bool NeedsQuotes(const std::wstring& s) {
    return s.empty() || s.find_first_of(L" \t\n\v\"") != std::wstring::npos;
}

// The program token is parsed without backslash escapes: it runs to the next quote or to white space.
std::wstring QuoteProgram(const std::wstring& program) {
    if (!NeedsQuotes(program)) return program;
    std::wstring out = L"\"";
    for (wchar_t c : program)
        if (c != L'"') out.push_back(c);  // a quote cannot be part of a file name
    out.push_back(L'"');
    return out;
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& arg) {
    if (!NeedsQuotes(arg)) return arg;
    std::wstring out = L"\"";
    for (auto it = arg.begin();; ++it) {
        size_t backslashes = 0;
        while (it != arg.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == arg.end()) {
            // Backslashes before the closing quote are doubled so they stay literal.
            out.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out.push_back(L'"');
        } else {
            out.append(backslashes, L'\\');
            out.push_back(*it);
        }
    }
    out.push_back(L'"');
    return out;
}

std::wstring BuildCommandLine(const std::wstring& program, const std::vector<std::wstring>& args) {
    std::wstring line = QuoteProgram(program);
    for (const auto& a : args) {
        line.push_back(L' ');
        line += QuoteArgument(a);
    }
    return line;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                  nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

DebugRun::DebugRun() {
    ::InitializeCriticalSection(&lock_);
    ::InitializeConditionVariable(&changed_);
}

DebugRun::~DebugRun() {
    if (thread_) {
        Kill();
        // The loop gives up at most kKillGraceMs after Kill(); leaving the thread then kills the program.
        ::WaitForSingleObject(thread_.Get(), INFINITE);
    }
    ::DeleteCriticalSection(&lock_);
}

void DebugRun::SetLineCallback(LineCallback callback) { callback_ = std::move(callback); }

void DebugRun::KillAtLine(const std::wstring& text, unsigned occurrence) {
    killText_ = text;
    killLeft_ = occurrence == 0 ? 1 : occurrence;
}

void DebugRun::FollowChildProcesses() { followChildren_ = true; }

bool DebugRun::Start(const std::wstring& commandLine, const std::wstring& workDir) {
    if (startCalled_) {
        startError_ = ERROR_ALREADY_INITIALIZED;
        return false;
    }
    startCalled_ = true;
    if (commandLine.empty() || commandLine.find(L'\0') != std::wstring::npos) {
        startError_ = ERROR_INVALID_PARAMETER;
        return false;
    }
    commandLine_ = commandLine;
    workDir_ = workDir;

    startedEvent_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!startedEvent_) {
        startError_ = ::GetLastError();
        return false;
    }
    uintptr_t t = ::_beginthreadex(nullptr, 0, &DebugRun::ThreadMain, this, 0, nullptr);
    if (t == 0) {
        startError_ = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    thread_.Reset(reinterpret_cast<HANDLE>(t));
    // The thread sets the event after CreateProcessW either way; if it died first, its handle is signalled.
    HANDLE waits[2] = {startedEvent_.Get(), thread_.Get()};
    ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (!startOk_) {
        ::WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
        if (startError_ == 0) startError_ = ERROR_GEN_FAILURE;
        return false;
    }
    return true;
}

unsigned __stdcall DebugRun::ThreadMain(void* self) {
    static_cast<DebugRun*>(self)->RunThread();
    return 0;
}

void DebugRun::RunThread() {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> cmd(commandLine_.begin(), commandLine_.end());
    cmd.push_back(L'\0');
    BOOL ok = ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE,
                               followChildren_ ? DEBUG_PROCESS : DEBUG_ONLY_THIS_PROCESS, nullptr,
                               workDir_.empty() ? nullptr : workDir_.c_str(), &si, &pi);
    if (!ok) {
        startError_ = ::GetLastError();
        {
            Lock lock(&lock_);
            done_ = true;
        }
        ::WakeAllConditionVariable(&changed_);
        ::SetEvent(startedEvent_.Get());
        return;
    }
    UniqueHandle mainThread(pi.hThread);
    process_.Reset(pi.hProcess);
    processId_ = pi.dwProcessId;
    // If this runner dies, the debug object goes with it and the program is terminated.
    ::DebugSetProcessKillOnExit(TRUE);
    startOk_ = true;
    ::SetEvent(startedEvent_.Get());

    DebugLoop();

    {
        Lock lock(&lock_);
        done_ = true;
    }
    ::WakeAllConditionVariable(&changed_);
}

void DebugRun::DebugLoop() {
    // Windows closes the process and thread handles that debug events bring when the debugger continues
    // from their exit events; Wine 8 leaves them open in the debugger, so under Wine they are kept here
    // and closed when the loop ends.
    static const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    std::vector<UniqueHandle> leftOpenByWine;
    for (;;) {
        DEBUG_EVENT ev{};
        if (!::WaitForDebugEvent(&ev, kPollMs)) {
            DWORD err = ::GetLastError();
            if (err != ERROR_SEM_TIMEOUT && err != WAIT_TIMEOUT) return;  // no debug object any more
            Lock lock(&lock_);
            if (killRequested_ && ::GetTickCount() - killTick_ > kKillGraceMs) return;
            continue;
        }

        DWORD continueStatus = DBG_CONTINUE;
        bool rootExited = false;
        const auto debuggee = debuggees_.find(ev.dwProcessId);
        reading_ = debuggee != debuggees_.end() ? debuggee->second : process_.Get();
        switch (ev.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            // hProcess and hThread belong to the system; the image file handle is ours to close.
            UniqueHandle(ev.u.CreateProcessInfo.hFile).Reset();
            debuggees_[ev.dwProcessId] = ev.u.CreateProcessInfo.hProcess;
            if (wine) {
                leftOpenByWine.emplace_back(ev.u.CreateProcessInfo.hProcess);
                leftOpenByWine.emplace_back(ev.u.CreateProcessInfo.hThread);
            }
            break;
        case CREATE_THREAD_DEBUG_EVENT:
            if (wine) leftOpenByWine.emplace_back(ev.u.CreateThread.hThread);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            UniqueHandle(ev.u.LoadDll.hFile).Reset();
            break;
        case OUTPUT_DEBUG_STRING_EVENT: {
            const OUTPUT_DEBUG_STRING_INFO& info = ev.u.DebugString;
            std::wstring line = info.fUnicode
                                    ? ReadWideString(info.lpDebugStringData, info.nDebugStringLength)
                                    : ReadNarrowString(info.lpDebugStringData, info.nDebugStringLength);
            Deliver(std::move(line));
            break;
        }
        case EXCEPTION_DEBUG_EVENT: {
            const EXCEPTION_RECORD& rec = ev.u.Exception.ExceptionRecord;
            continueStatus = DBG_EXCEPTION_NOT_HANDLED;
            if (!ev.u.Exception.dwFirstChance) {
                Lock lock(&lock_);
                if (unhandledCode_ == 0) unhandledCode_ = rec.ExceptionCode;
            } else if (rec.ExceptionCode == kPrintExceptionWide && rec.NumberParameters >= 2 &&
                       rec.ExceptionInformation[1] != 0) {
                // Handled here: the program then skips the narrow form, so the line arrives once.
                std::vector<unsigned char> probe;
                const void* addr = reinterpret_cast<const void*>(rec.ExceptionInformation[1]);
                if (ReadRemote(addr, sizeof(wchar_t), &probe) && probe.size() == sizeof(wchar_t)) {
                    Deliver(ReadWideString(addr, static_cast<size_t>(rec.ExceptionInformation[0])));
                    continueStatus = DBG_CONTINUE;
                }
                // Unreadable: leave it unhandled and take the narrow form that follows.
            } else if (rec.ExceptionCode == kPrintExceptionNarrow && rec.NumberParameters >= 2 &&
                       rec.ExceptionInformation[1] != 0) {
                Deliver(ReadNarrowString(reinterpret_cast<const void*>(rec.ExceptionInformation[1]),
                                         static_cast<size_t>(rec.ExceptionInformation[0])));
                continueStatus = DBG_CONTINUE;
            } else if (loaderBreakpoints_.count(ev.dwProcessId) == 0 &&
                       (rec.ExceptionCode == EXCEPTION_BREAKPOINT || rec.ExceptionCode == kWx86Breakpoint)) {
                loaderBreakpoints_.insert(ev.dwProcessId);  // the loader's breakpoint for the attached debugger
                continueStatus = DBG_CONTINUE;
            }
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT:
            debuggees_.erase(ev.dwProcessId);
            if (ev.dwProcessId == processId_) {
                Lock lock(&lock_);
                exitSeen_ = true;
                exitCode_ = ev.u.ExitProcess.dwExitCode;
                rootExited = true;
            }
            break;
        default:  // threads, DLL unloads, RIP: nothing to do
            break;
        }
        ::ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, continueStatus);
        if (rootExited) return;
    }
}

void DebugRun::Deliver(std::wstring line) {
    {
        Lock lock(&lock_);
        lines_.push_back(line);
    }
    ::WakeAllConditionVariable(&changed_);
    // The program waits for this loop at the line: a kill now ends it exactly here.
    if (!killText_.empty() && killLeft_ > 0 && line.find(killText_) != std::wstring::npos && --killLeft_ == 0) Kill();
    if (callback_) {
        try {
            callback_(line);
        } catch (...) {
            // A failing consumer must not stop the debug loop (the program would hang stopped).
        }
    }
}

// Reads up to `bytes` from the program, page by page, stopping at the first unreadable page.
bool DebugRun::ReadRemote(const void* address, size_t bytes, std::vector<unsigned char>* out) const {
    out->clear();
    if (!address || bytes == 0) return false;
    const size_t kPage = 4096;
    uintptr_t pos = reinterpret_cast<uintptr_t>(address);
    while (out->size() < bytes) {
        size_t want = std::min(bytes - out->size(), kPage - (pos % kPage));
        size_t old = out->size();
        out->resize(old + want);
        SIZE_T got = 0;
        if (!::ReadProcessMemory(reading_, reinterpret_cast<const void*>(pos), out->data() + old, want, &got) ||
            got == 0) {
            out->resize(old + got);
            break;
        }
        out->resize(old + got);
        pos += got;
    }
    return !out->empty();
}

std::wstring DebugRun::ReadNarrowString(const void* address, size_t bytes) const {
    if (bytes == 0 || bytes > kMaxStringBytes) bytes = kMaxStringBytes;  // unknown length: read to the NUL
    std::vector<unsigned char> raw;
    if (!ReadRemote(address, bytes, &raw)) return {};
    auto nul = std::find(raw.begin(), raw.end(), '\0');
    int len = static_cast<int>(nul - raw.begin());
    if (len == 0) return {};
    const char* text = reinterpret_cast<const char*>(raw.data());
    int n = ::MultiByteToWideChar(CP_ACP, 0, text, len, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, len, &out[0], n);
    return out;
}

std::wstring DebugRun::ReadWideString(const void* address, size_t chars) const {
    size_t maxChars = kMaxStringBytes / sizeof(wchar_t);
    if (chars == 0 || chars > maxChars) chars = maxChars;
    std::vector<unsigned char> raw;
    if (!ReadRemote(address, chars * sizeof(wchar_t), &raw)) return {};
    std::wstring out(raw.size() / sizeof(wchar_t), L'\0');
    if (!out.empty()) std::memcpy(&out[0], raw.data(), out.size() * sizeof(wchar_t));
    size_t nul = out.find(L'\0');
    if (nul != std::wstring::npos) out.resize(nul);
    return out;
}

DWORD DebugRun::ProcessId() const { return processId_; }

DWORD DebugRun::StartError() const { return startError_; }

std::wstring DebugRun::StartErrorText() const {
    if (startError_ == 0) return {};
    wchar_t* buf = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, startError_, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    const ::orv::UniqueLocalMemory ownBuf(buf);
    std::wstring text;
    if (n && buf) text.assign(buf, n);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = L"error " + std::to_wstring(startError_);
    return text;
}

bool DebugRun::Wait(DWORD timeoutMs, DWORD* exitCode) {
    if (!startOk_ || !thread_) return false;
    if (::WaitForSingleObject(thread_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    bool seen;
    {
        Lock lock(&lock_);
        seen = exitSeen_;
        code = exitCode_;
    }
    if (!seen) {
        // The loop ended without the exit event (debug object lost); the program is being terminated.
        ::WaitForSingleObject(process_.Get(), kKillGraceMs);
        if (!::GetExitCodeProcess(process_.Get(), &code)) code = kKilledExitCode;
    }
    if (exitCode) *exitCode = code;
    return true;
}

bool DebugRun::Finished() const {
    Lock lock(&lock_);
    return done_;
}

std::vector<std::wstring> DebugRun::Lines() const {
    Lock lock(&lock_);
    return lines_;
}

size_t DebugRun::LineCount() const {
    Lock lock(&lock_);
    return lines_.size();
}

bool DebugRun::WaitForLine(const LinePredicate& pred, DWORD timeoutMs, size_t startIndex, size_t* foundIndex) {
    if (!pred) return false;
    const DWORD start = ::GetTickCount();
    Lock lock(&lock_);
    size_t i = startIndex;
    for (;;) {
        for (; i < lines_.size(); ++i) {
            if (pred(lines_[i])) {
                if (foundIndex) *foundIndex = i;
                return true;
            }
        }
        if (done_ || !startOk_) return false;
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE) {
            DWORD elapsed = ::GetTickCount() - start;
            if (elapsed >= timeoutMs) return false;
            wait = timeoutMs - elapsed;
        }
        ::SleepConditionVariableCS(&changed_, &lock_, wait);
    }
}

bool DebugRun::WaitForLine(const std::wstring& substring, DWORD timeoutMs, size_t startIndex, size_t* foundIndex) {
    return WaitForLine([&substring](const std::wstring& line) { return line.find(substring) != std::wstring::npos; },
                       timeoutMs, startIndex, foundIndex);
}

void DebugRun::Kill() {
    if (!startOk_) return;
    Lock lock(&lock_);
    if (done_ || exitSeen_ || killed_) return;
    if (!killRequested_) {
        killRequested_ = true;
        killTick_ = ::GetTickCount();
    }
    if (::TerminateProcess(process_.Get(), kKilledExitCode)) killed_ = true;
}

bool DebugRun::WasKilled() const {
    Lock lock(&lock_);
    return killed_;
}

DWORD DebugRun::UnhandledExceptionCode() const {
    Lock lock(&lock_);
    return unhandledCode_;
}

}  // namespace trace
}  // namespace orv
