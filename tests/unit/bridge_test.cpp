// The script data bridge: string objects, raw buffers, DLL calls through bound exports and GLibTab, run
// against a DLL of ours and the system exports the product scripts call.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fsutil.h"
#include "luatestutil.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"
#include "utility/textconv.h"

namespace {

// Runs `body` with check(condition, what) collecting the failed checks; returns them joined, or the
// script error's trace when the script stopped.
std::string Checks(const std::string& body) {
    TraceCapture trace;
    const std::string script = "failed = {}; function check(c, what) if not c then failed[#failed + 1] = what end end\n" +
                               body + "\nfailures = table.concat(failed, '; ')";
    if (RunScript(script, "=bridge") != 1) {
        std::string error = "script stopped:";
        for (const std::wstring& line : TraceCapture::Lines()) error += " " + orv::WideToUtf8(line);
        return error;
    }
    return orv::WideToUtf8(orv::GetGlobalText(EngineState(), "failures"));
}

bool Traced(const std::wstring& line) { return TraceCapture::Holds(line); }


constexpr char kBindTestDll[] =
    "lib = GLibTab['orvbridgetest.dll']\n"
    "function bind(name, kind, cdecl) local f = lib:Get(name, kind, cdecl); return f end\n";

TEST(BridgeStrings, NewLengthCapacityAndCharacters) {
    EXPECT_EQ(Checks(R"(
        local w = WString.New(10)
        check(#w == 0 and tostring(w) == '' and w[9] == '' and w[10] == nil, 'New(10) is ten zero units')
        check(WString.New(0) == nil and WString.New() == nil and AString.New(-1) == nil, 'no text, no capacity: nil')
        local e = WString.New(0, '')
        check(e ~= nil and #e == 0 and e[0] == '' and e[1] == nil, 'New(0, "") has capacity 1')
        local big = WString.New(2, 'abcdef')
        check(#big == 6 and big[6] == '' and big[7] == nil, 'the text wins over a small capacity')
        check(#AString.New(3.6, 'ab') == 2 and AString.New(3.6, 'ab')[3] == '' and AString.New(3.6, 'ab')[4] == nil,
              'capacity rounds to 4')
        check(tostring(WString.New(nil, 12.5)) == '12.5' and tostring(AString.New(nil, {})) == '', 'numbers and others')
        local s = WString.New(nil, 'abc')
        check(s[0] == 'a' and s[3] == '' and s[-1] == nil and s.anything == 'a' and #s == 3, 'character reads')
        s[1] = 'xyz'; s[0] = 'x'; s[3] = 'x'; s[2] = ''; s[2] = {}
        check(tostring(s) == 'axc', 'character writes: ' .. tostring(s))
        s[50] = 'q'
        check(s[50] == nil and tostring(s) == 'axc', 'beyond the capacity: nil and no change')
        local a = AString.New(8, 'abc')
        a[2] = 7
        check(tostring(a) == 'ab7' and a[7] == '' and a[8] == nil and a[100000] == nil, 'AString characters')
    )"), "");
}

TEST(BridgeStrings, EqualityConcatenationAndChineseText) {
    ASSERT_EQ(::GetACP(), 936u) << "the suite runs in a zh_CN prefix";
    EXPECT_EQ(Checks(R"(
        check(AString.New(nil, 'abc') == AString.New(nil, 'abc'), 'equal AStrings')
        check(WString.New(nil, 'abc') ~= WString.New(nil, 'abd'), 'different WStrings')
        check(AString.New(nil, 'abc') ~= 'abc' and AString.New(nil, 'a') ~= WString.New(nil, 'a'), 'across kinds')
        check(AString.New(20, 'abc') == AString.New(nil, 'abc'), 'capacity does not count')
        local w = WString.New(nil, 'ab') .. 5
        check(getmetatable(w) == getmetatable(WString.New(nil, 'x')) and tostring(w) == 'ab5' and w[4] == nil,
              'WString .. 5 holds exactly ab5')
        local copy = WString.New(nil, 'ab') .. nil
        check(tostring(copy) == 'ab' and copy[3] == nil, 'WString .. nil is a copy')
        local aw = AString.New(nil, 'x') .. WString.New(nil, 'y')
        check(getmetatable(aw) == getmetatable(AString.New(nil, 'x')) and tostring(aw) == 'xy', 'AString .. WString')
        local wa = 'pre' .. WString.New(nil, '中') .. AString.New(nil, '文')
        check(getmetatable(wa) == getmetatable(WString.New(nil, 'x')) and tostring(wa) == 'pre中文', 'text .. objects')
        local zh = '简体中文 路径\\安装'
        check(tostring(WString.New(nil, zh)) == zh and #WString.New(nil, zh) == 10, 'Chinese through WString')
        local az = AString.New(nil, zh)
        check(tostring(az) == zh and #az == 18 and az[0] ~= nil, 'Chinese through AString in code page 936')
        check(tostring(WString.New(nil, az)) == zh and tostring(AString.New(nil, WString.New(nil, zh))) == zh,
              'conversions between the kinds')
        check(tostring(WString.New(nil, 'ab\0cd')) == 'ab', 'text stops at its first NUL')
    )"), "");
}

TEST(BridgeBuffers, AccessorsAndSigns) {
    EXPECT_EQ(Checks(R"(
        check(RawBuffer.New(0) == nil and RawBuffer.New('x') == nil, 'no buffer of size 0')
        local b = RawBuffer.New(16)
        check(b:OffsetGetAsUInt32(0) == 0 and b:OffsetGetAsUInt32(12) == 0, 'zero-filled')
        b:OffsetSetAsInt32(0, -1)
        check(b:OffsetGetAsUInt32(0) == 4294967295 and b:OffsetGetAsInt32(0) == -1 and b:OffsetGetAsUInt16(0) == 65535
              and b:OffsetGetAsInt16(2) == -1 and b:OffsetGetAsInt8(0) == -1 and b:OffsetGetAsUInt8(3) == 255,
              'one word read at every width and sign')
        b:OffsetSetAsUInt32(4, -1); b:OffsetSetAsUInt8(8, 257); b:OffsetSetAsInt16(10, -2)
        check(b:OffsetGetAsInt32(4) == -1 and b:OffsetGetAsUInt8(8) == 1 and b:OffsetGetAsUInt16(10) == 65534,
              'setters keep the low bits')
        b:OffsetSetAsUInt32(12, 0x04030201)
        check(b:OffsetGetAsUInt8(12) == 1 and b:OffsetGetAsUInt8(15) == 4, 'little-endian')
        b:OffsetSetAsBoolean(0, 0); local t = b:OffsetGetAsUInt32(0)
        b:OffsetSetAsBoolean(4, nil)
        check(t == 1 and b:OffsetGetAsUInt32(4) == 0 and b:OffsetGetAsBoolean(0) and not b:OffsetGetAsBoolean(4),
              'booleans: 0 is true')
        local s = WString.New(6, 'ab')
        local w = RawBuffer.New(14)
        w:OffsetSetAsUInt16(12, 0x7777)
        w:OffsetSetAsWString(0, s)
        check(w:OffsetGetAsWString(0) == 'ab' and w:OffsetGetAsUInt16(10) == 0 and w:OffsetGetAsUInt16(12) == 0x7777,
              'a WString of capacity 6 copies 12 bytes')
        local n = RawBuffer.New(8)
        n:OffsetSetAsAString(1, AString.New(nil, '中文'))
        check(n:OffsetGetAsAString(1) == '中文' and n:OffsetGetAsUInt8(6) == 0, 'narrow text in the buffer')
        local p = RawBuffer.New(16)
        local at8 = p:OffsetGetAsPointer(8)
        check(type(at8) == 'userdata' and p:OffsetGetAsPointer(0) ~= at8, 'pointers are light userdata')
        p:OffsetSetAsUInt32(8, 99)
        check(p.OffsetGetAsUInt32(p, at8, 0) == 99 and p.OffsetGetAsUInt32(p, at8, -8) == 0, 'raw addresses')
        p:OffsetSetAsPointer(0, p)
        check(p:OffsetGetAsUInt32(0) ~= 0 and p.OffsetGetAsUInt32(p, p:OffsetGetAsPointer(0), 0) ==
              p:OffsetGetAsUInt32(0), 'a stored pointer is the block address')
        p:OffsetSetAsPointer(0, 5)
        check(p:OffsetGetAsUInt32(0) == 0, 'not userdata: a zero pointer')
        local str = WString.New(nil, 'hi')
        check(p.OffsetGetAsUInt16(p, str, 0) == string.byte('h'), 'accessors on a string object')
    )"), "");
}

// Our own objects are bounded: an accessor that would leave one raises an error naming itself.
TEST(BridgeBuffers, AccessorsStayInsideOurObjects) {
    EXPECT_EQ(Checks(R"(
        local function refused(method, f)
            local ok, message = pcall(f)
            check(not ok and tostring(message):find(method, 1, true), method .. ': ' .. tostring(message))
        end
        local b = RawBuffer.New(4)
        refused('OffsetGetAsUInt32', function() return b:OffsetGetAsUInt32(1) end)
        refused('OffsetGetAsInt8', function() return b:OffsetGetAsInt8(-1) end)
        refused('OffsetSetAsInt16', function() b:OffsetSetAsInt16(3, 1) end)
        refused('OffsetSetAsPointer', function() b:OffsetSetAsPointer(1, b) end)
        refused('OffsetGetAsPointer', function() return b:OffsetGetAsPointer(5) end)
        refused('OffsetSetAsWString', function() b:OffsetSetAsWString(0, WString.New(nil, 'abc')) end)
        refused('OffsetSetAsAString', function() b:OffsetSetAsAString(0, 'text') end)
        b:OffsetSetAsUInt32(0, 0x41414141)
        refused('OffsetGetAsAString', function() return b:OffsetGetAsAString(0) end)
        refused('OffsetGetAsWString', function() return b:OffsetGetAsWString(2) end)
        local s = AString.New(nil, 'ab')
        refused('OffsetGetAsUInt32', function() return b.OffsetGetAsUInt32(b, s, 0) end)
        refused('OffsetGetAsUInt8', function() return b.OffsetGetAsUInt8(b, 42, 0) end)
        refused('OffsetGetAsUInt8', function() return b.OffsetGetAsUInt8() end)
        check(b:OffsetGetAsPointer(4) ~= nil and b:OffsetGetAsUInt32(0) == 0x41414141, 'the edges themselves are fine')
    )"), "");
}

TEST(BridgeCalls, ArgumentsInOrderUnderBothConventionsWithoutStackDrift) {
    TraceCapture trace;
    EXPECT_EQ(Checks(std::string(kBindTestDll) + R"(
        local function expected(n)
            local h = 7
            for i = 1, n do h = (h * 31 + i * 1000 - 3) % 4294967296 end
            return h
        end
        local probe = bind('StackProbe', 'ptr')
        local base = probe()
        for n = 0, 8 do
            local args = {}
            for i = 1, n do args[i] = i * 1000 - 3 end
            local std, cdecl = bind('StdArgs' .. n, 'uint'), bind('CdeclArgs' .. n, 'uint', true)
            for round = 1, 300 do
                local a, b = std(table.unpack(args)), cdecl(table.unpack(args))
                if a ~= expected(n) or b ~= expected(n) then check(false, n .. ' arguments: ' .. a .. ' ' .. b) break end
            end
            check(probe() == base, 'the stack moved after ' .. n .. ' arguments')
        end
        -- A flag that does not match the export: the stack stays balanced and the trace says so.
        local wrong = bind('CdeclArgs3', 'uint')
        for round = 1, 100 do wrong(1, 2, 3) end
        check(probe() == base, 'the stack moved after a mismatched convention')
    )"), "");
    const bool x86 = sizeof(void*) == 4;
    // the 64-bit build has one convention
    EXPECT_EQ(TraceCapture::HoldsPart(L"bytes of arguments where 12 were expected"), x86);
}

TEST(BridgeCalls, ResultKindsLastErrorAndWritesThroughPointers) {
    EXPECT_EQ(Checks(std::string(kBindTestDll) + R"(
        local word = function(kind) return bind('ReturnWord', kind) end
        check(word('int')(-1) == -1 and word('uint')(-1) == 4294967295 and word('bool')(-1) == true
              and word('bool')(0) == false and word('void')(5) == nil and word(nil)(5) == nil, 'word kinds')
        check(word('int')(4294967295) == -1 and word('uint')(2.6) == 3, 'numbers as 32-bit integers')
        check(bind('ReturnHighHalfOnly', 'uint')() == 0 and bind('ReturnHighHalfOnly', 'bool')() == false,
              '32-bit kinds take the low half')
        check(bind('IsMinusOne', 'int')(-1) == 1 and bind('IsMinusOne', 'int')(4294967295) == 1, 'sign extension')
        check(bind('ReturnNarrow', 'astr')() == 'narrow text' and bind('ReturnWide', 'wstr')() == 'wide 中文',
              'text results')
        check(bind('ReturnNull', 'astr')() == '' and bind('ReturnNull', 'wstr')() == '' and
              type(bind('ReturnNull', 'ptr')()) == 'userdata', 'null results')
        local value, err = bind('SetErrorAndReturn', 'int')(1234)
        check(value == 1235 and err == 1234, 'last error captured: ' .. tostring(err))
        local _, err2 = bind('SetErrorAndReturn')(4294967295)
        check(_ == nil and err2 == 4294967295, 'last error unsigned, kind absent')
        local w = WString.New(20)
        check(bind('FillWide', 'int')(w, 20) == 8 and tostring(w) == 'filled 中' and #w == 8, 'written WString')
        local a = AString.New(4)
        check(bind('FillNarrow', 'int')(a, 4) == 3 and tostring(a) == 'fil', 'written AString within its capacity')
        local b = RawBuffer.New(12)
        bind('StoreWord')(b:OffsetGetAsPointer(8), 77)
        check(b:OffsetGetAsUInt32(8) == 77 and b:OffsetGetAsUInt32(4) == 0, 'a pointer into a buffer')
        bind('StoreWord')(b, 5)
        check(b:OffsetGetAsUInt32(0) == 5, 'a buffer argument is its block')
        check(bind('TextBytes', 'int')('中文') == 6 and bind('TextBytes', 'int')(AString.New(nil, '中文')) == 4,
              'Lua text passes its UTF-8 bytes, an AString its code-page bytes')
        local count = bind('CountCall', 'int')
        local before = count()
        for _, bad in ipairs({ {}, print, coroutine.create(print) }) do
            local ok, message = pcall(count, 1, bad)
            check(not ok and tostring(message):find('unknow argument type', 1, true), tostring(message))
        end
        check(count() == before + 1, 'a refused argument never calls the export')
    )"), "");
}

TEST(BridgeCalls, GetFailuresAndTheModuleTable) {
    const orv::test::TempDir folder(L"glibtab");
    const std::wstring copy = folder.Sub(L"late.dll");
    lua_State* L = EngineState();
    orv::SetGlobalText(L, "late_dll", copy);
    TraceCapture trace;
    EXPECT_EQ(Checks(R"(
        local reg = debug.getregistry()
        check(getmetatable(AString.New(nil, 'a')) == reg.AStringMetaTable and getmetatable(WString.New(1)) ==
              reg.WStringMetaTable and getmetatable(RawBuffer.New(1)) == reg.RawBufferMetaTable and
              getmetatable(GLibTab) == reg.GlobalLibTableMetaTable, 'registered metatables')
        check(package.loaded.AString == AString and package.loaded.DllManager == DllManager, 'required modules')
        local k = GLibTab.kernel32
        check(getmetatable(k) == reg.DllManagerMetaTable, 'module objects')
        local f, code = k:Get('GetCurrentProcessId', 'int')
        check(type(f) == 'function' and code == 0 and f() > 0, 'GetCurrentProcessId binds')
        local g = k.Get(42, 'GetCurrentProcessId', 'int')
        check(select(1, k.Get(42, 'x')) == nil and select(2, k.Get(42, 'x')) == 'hModule is nil', 'Get on a non-module')
        local none, missing = k:Get('NoSuchExport', 'int')
        check(none == nil and missing == 127, 'unknown export: ' .. tostring(missing))
        check(k:Get('GetCurrentProcessId\0x', 'int') == nil, 'an export name with a NUL')
        local kindless = k:Get('GetCurrentProcessId')
        local r, e = kindless()
        check(r == nil and type(e) == 'number', 'no kind: nil and the error code')
        check(rawequal(GLibTab.kernel32, k) and not rawequal(GLibTab.Kernel32, k), 'one entry per exact key')
        local dll = GLibTab['orvbridgetest.dll']
        check(rawequal(dll, GLibTab['orvbridgetest.dll']), 'the same object for the same key')
        local handle = GLibTab.kernel32:Get('GetModuleHandleW', 'uint')
        check(handle(WString.New(nil, 'orvbridgetest.dll')) ~= 0, 'loaded')
        dll:UnLoad(); GLibTab['orvbridgetest.dll'] = nil
        check(handle(WString.New(nil, 'orvbridgetest.dll')) == 0, 'one lookup, one load: one UnLoad releases it')
        check(GLibTab[{}] == nil and GLibTab[0/0] == nil and GLibTab[late_dll] == nil and
              rawget(GLibTab, late_dll) == nil, 'failed keys')
        check(not pcall(getmetatable(GLibTab).__index, 1, 'kernel32'), 'a lookup in something not a table')
        local loaded, err = DllManager.Load(late_dll)
        check(loaded == nil and err == 126, 'Load failure: ' .. tostring(err))
    )"), "");
    EXPECT_TRUE(Traced(L"qz if (nullptr == phMod)"));
    EXPECT_TRUE(Traced(L"if (nullptr == pfn)"));
    ASSERT_TRUE(::CopyFileW((orv::test::ExeDirectory() + L"\\orvbridgetest.dll").c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(Checks(R"(
        local m = GLibTab[late_dll]
        check(m ~= nil and rawget(GLibTab, late_dll) == m, 'a failed key is tried again')
        check(m:Get('CountCall', 'int')() == 1, 'calls into the late module')
        m:UnLoad(); GLibTab[late_dll] = nil
        local direct = DllManager.Load(late_dll)
        check(getmetatable(direct) == getmetatable(m) and direct:UnLoad() == nil, 'Load and UnLoad')
    )"), "");
}

// A module object releases its module once; what was bound from it refuses to run afterwards.
TEST(BridgeCalls, UnloadedModulesAreNotCalledInto) {
    EXPECT_EQ(Checks(R"(
        local handle = GLibTab.kernel32:Get('GetModuleHandleW', 'uint')
        local held = GLibTab['orvbridgetest.dll']
        local m = DllManager.Load('orvbridgetest.dll')
        local count = m:Get('CountCall', 'int')
        m:UnLoad()
        local ok, message = pcall(count)
        check(not ok and tostring(message):find('unloaded', 1, true), 'called after UnLoad: ' .. tostring(message))
        m:UnLoad()
        check(handle(WString.New(nil, 'orvbridgetest.dll')) ~= 0 and held:Get('CountCall', 'int')() > 0,
              'a second UnLoad released the module another object holds')
        check(m:Get('CountCall', 'int') == nil, 'Get on an unloaded module')
    )"), "");
}

// The words go on the machine stack: a call with more of them than an export can take is refused.
TEST(BridgeCalls, TooManyArgumentsAreRefused) {
    EXPECT_EQ(Checks(std::string(kBindTestDll) + R"(
        local count = bind('CountCall', 'int')
        local before = count()
        local words = {}
        for i = 1, 65 do words[i] = i end
        local ok, message = pcall(count, table.unpack(words))
        check(not ok and tostring(message):find('at most 64', 1, true), '65 arguments: ' .. tostring(message))
        check(count() == before + 1, 'the export did not run')
    )"), "");
}

// The system exports the product scripts reach, called as they call them.
TEST(BridgeCalls, SystemExportsAsTheScriptsCallThem) {
    const orv::test::TempDir temp(L"bridge sys");
    const std::wstring folder = temp.Path();
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvBridgeProbe";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowW(L"OrvBridgeProbe", L"探针", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    lua_State* L = EngineState();
    orv::SetGlobalText(L, "sys_folder", folder + L"\\中文");
    ::CreateDirectoryW((folder + L"\\中文").c_str(), nullptr);
    lua_pushnumber(L, static_cast<lua_Number>(reinterpret_cast<uintptr_t>(window)));
    lua_setglobal(L, "probe_window");
    lua_pushnumber(L, ::GetCurrentProcessId());
    lua_setglobal(L, "pid");
    EXPECT_EQ(Checks(R"(
        local sleep = GLibTab.Kernel32:Get('Sleep')
        local before = os.clock()
        check(sleep(20) == nil, 'Sleep without a kind')
        check(GLibTab.Kernel32:Get('GetCurrentProcessId', 'int')() == pid, 'the process id')
        local exists = GLibTab.Shlwapi:Get('PathFileExistsA', 'int')
        check(exists(AString.New(nil, sys_folder)) == 1 and exists(AString.New(nil, sys_folder .. 'x')) == 0,
              'PathFileExistsA with a Chinese AString')
        local existsW = GLibTab.Shlwapi:Get('PathFileExistsW', 'int')
        check(existsW(WString.New(nil, sys_folder)) == 1, 'PathFileExistsW')
        local find = GLibTab.User32:Get('FindWindowW', 'int')
        local hwnd = find(WString.New(nil, 'OrvBridgeProbe'), nil)
        check(hwnd == probe_window and find(nil, WString.New(nil, '探针')) == probe_window, 'FindWindowW: ' .. hwnd)
        check(find(WString.New(nil, 'NoSuchClassHere'), nil) == 0, 'FindWindowW without a match')
        local notify = GLibTab.shell32:Get('SHChangeNotify', 'void')
        local r, e = notify(134217728, 3, 0, 0)
        check(r == nil and type(e) == 'number', 'SHChangeNotify')
        local disable = GLibTab.kernel32:Get('Wow64DisableWow64FsRedirection', 'int')
        local revert = GLibTab.kernel32:Get('Wow64RevertWow64FsRedirection', 'int')
        check(type(disable) == 'function' and type(revert) == 'function', 'redirection exports bind everywhere')
    )"), "");
    ::DestroyWindow(window);
}

// Under WoW64 the install script switches file-system redirection off and on through the bridge.
TEST(BridgeWow64, RedirectionTogglesAsTheScriptsDoIt) {
    const char* expected = std::getenv("ORV_EXPECT_WOW64");
    if (!expected || std::strcmp(expected, "1") != 0) GTEST_SKIP() << "not a WoW64 process";
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring marker = std::wstring(L"orvredirect") + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    const std::wstring native = std::wstring(windows) + L"\\Sysnative\\" + marker;
    ASSERT_TRUE(orv::test::WriteFileBytes(native, "x")) << "the 64-bit system folder is reachable";
    orv::SetGlobalText(EngineState(), "redirected", std::wstring(windows) + L"\\System32\\" + marker);
    EXPECT_EQ(Checks(R"(
        local fsredir = { pOld = RawBuffer.New(4) }
        fsredir.disable = GLibTab.kernel32:Get('Wow64DisableWow64FsRedirection', 'int')
        fsredir.revert = GLibTab.kernel32:Get('Wow64RevertWow64FsRedirection', 'int')
        local exists = GLibTab.Shlwapi:Get('PathFileExistsW', 'int')
        check(exists(WString.New(nil, redirected)) == 0, 'redirected to the 32-bit folder')
        check(fsredir.disable(fsredir.pOld) == 1, 'disabled')
        check(exists(WString.New(nil, redirected)) == 1, 'the 64-bit folder while disabled')
        check(fsredir.revert(fsredir.pOld:OffsetGetAsUInt32(0)) == 1, 'reverted')
        check(exists(WString.New(nil, redirected)) == 0, 'redirected again')
    )"), "");
    ::DeleteFileW(native.c_str());
}

}  // namespace
