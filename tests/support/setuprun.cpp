#include "setuprun.h"

#include <cstdio>

namespace orv {
namespace test {
namespace {

// The search text without a leading tag; a line end in it stays and must then match.
std::wstring Untagged(const std::wstring& text) { return IsTagged(text) ? text.substr(3) : text; }

// `want` occurs in the text after the tag, as sent (line end included).
bool TaggedLineContains(const std::wstring& line, const std::wstring& want) {
    return IsTagged(line) && line.find(want, 3) != std::wstring::npos;
}

std::string Hex(DWORD v) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "0x%08lX", static_cast<unsigned long>(v));
    return buf;
}

}  // namespace

std::string SetupResult::Describe() const {
    std::string s = "command: " + ToUtf8(commandLine) + "\n";
    if (!started) {
        s += "not started: " + ToUtf8(errorText) + " (error " + std::to_string(startError) + ")\n";
        return s;
    }
    if (timedOut) s += "TIMED OUT after " + std::to_string(elapsedMs) + " ms and killed\n";
    if (unhandledException) s += "CRASHED with exception " + Hex(unhandledException) + "\n";
    s += "exit code " + std::to_string(exitCode) + " after " + std::to_string(elapsedMs) + " ms, " +
         std::to_string(lines.size()) + " trace lines:\n";
    s += DescribeLines(lines);
    return s;
}

bool SetupProcess::Start(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& workDir) {
    result_ = SetupResult();
    result_.commandLine = BuildCommandLine(exe, args);
    startTick_ = ::GetTickCount();
    result_.started = run_.Start(result_.commandLine, workDir);
    if (!result_.started) {
        result_.startError = run_.StartError();
        result_.errorText = run_.StartErrorText();
    }
    return result_.started;
}

bool SetupProcess::WaitForLine(const std::wstring& text, DWORD timeoutMs, size_t startIndex) {
    const std::wstring want = Untagged(text);
    if (want.empty()) return false;
    return run_.WaitForLine(
        [&want](const std::wstring& line) { return TaggedLineContains(line, want); },
        timeoutMs, startIndex);
}

SetupResult SetupProcess::Finish(DWORD timeoutMs) {
    if (!result_.started) return result_;
    DWORD code = 0;
    if (!run_.Wait(timeoutMs, &code)) {
        result_.timedOut = true;
        run_.Kill();
        run_.Wait(INFINITE, &code);
    }
    result_.exitCode = code;
    result_.unhandledException = run_.UnhandledExceptionCode();
    result_.elapsedMs = ::GetTickCount() - startTick_;
    result_.lines = run_.Lines();
    return result_;
}

SetupResult RunSetup(const std::wstring& exe, const std::vector<std::wstring>& args, DWORD timeoutMs,
                     const std::wstring& workDir) {
    SetupProcess p;
    p.Start(exe, args, workDir);
    return p.Finish(timeoutMs);
}

bool IsTagged(const std::wstring& line) { return line.compare(0, 3, kTraceTag) == 0; }

std::wstring StripTag(const std::wstring& line) {
    std::wstring s = IsTagged(line) ? line.substr(3) : line;
    if (!s.empty() && s.back() == L'\n') s.pop_back();
    if (!s.empty() && s.back() == L'\r') s.pop_back();
    return s;
}

std::vector<std::wstring> TaggedLines(const std::vector<std::wstring>& lines) {
    std::vector<std::wstring> out;
    for (const auto& l : lines)
        if (IsTagged(l)) out.push_back(StripTag(l));
    return out;
}

bool HasLine(const std::vector<std::wstring>& lines, const std::wstring& text) { return IndexOf(lines, text) >= 0; }

bool HasExactLine(const std::vector<std::wstring>& lines, const std::wstring& text) {
    const std::wstring want = Untagged(text);
    for (const auto& l : lines)
        if (IsTagged(l) && (l.compare(3, std::wstring::npos, want) == 0 || StripTag(l) == want)) return true;
    return false;
}

int IndexOf(const std::vector<std::wstring>& lines, const std::wstring& text, size_t from) {
    const std::wstring want = Untagged(text);
    if (want.empty()) return -1;  // an empty search text is a mistake in the test, not a match
    for (size_t i = from; i < lines.size(); ++i)
        if (TaggedLineContains(lines[i], want)) return static_cast<int>(i);
    return -1;
}

int CountLines(const std::vector<std::wstring>& lines, const std::wstring& text) {
    const std::wstring want = Untagged(text);
    if (want.empty()) return 0;
    int n = 0;
    for (const auto& l : lines)
        if (TaggedLineContains(l, want)) ++n;
    return n;
}

::testing::AssertionResult ContainsLine(const std::vector<std::wstring>& lines, const std::wstring& text) {
    int i = IndexOf(lines, text);
    if (i >= 0) return ::testing::AssertionSuccess() << "line " << i << " contains \"" << ToUtf8(text) << "\"";
    return ::testing::AssertionFailure() << "no trace line contains \"" << ToUtf8(text) << "\"; "
                                         << lines.size() << " lines:\n"
                                         << DescribeLines(lines);
}

::testing::AssertionResult LacksLine(const std::vector<std::wstring>& lines, const std::wstring& text) {
    int i = IndexOf(lines, text);
    if (i < 0) return ::testing::AssertionSuccess() << "no trace line contains \"" << ToUtf8(text) << "\"";
    return ::testing::AssertionFailure() << "trace line " << i << " contains \"" << ToUtf8(text) << "\"; "
                                         << lines.size() << " lines:\n"
                                         << DescribeLines(lines);
}

::testing::AssertionResult LinesInOrder(const std::vector<std::wstring>& lines,
                                        std::initializer_list<std::wstring> texts) {
    size_t from = 0;
    std::string found;
    for (const auto& t : texts) {
        int i = IndexOf(lines, t, from);
        if (i < 0) {
            return ::testing::AssertionFailure()
                   << "\"" << ToUtf8(t) << "\" not found at or after line " << from
                   << (found.empty() ? std::string() : " (found so far: " + found + ")") << "; " << lines.size()
                   << " lines:\n"
                   << DescribeLines(lines);
        }
        found += (found.empty() ? "" : ", ") + std::to_string(i);
        from = static_cast<size_t>(i) + 1;
    }
    return ::testing::AssertionSuccess() << "in order at lines " << found;
}

std::string DescribeLines(const std::vector<std::wstring>& lines) {
    std::string s;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::wstring l = lines[i];
        while (!l.empty() && (l.back() == L'\n' || l.back() == L'\r')) l.pop_back();
        s += "  [" + std::to_string(i) + "] " + ToUtf8(l) + "\n";
    }
    return s;
}

}  // namespace test
}  // namespace orv
