// Lua_RegQuery, Lua_RegAdd, Lua_RegDel and Lua_RegVarByCSIDL against the real registry of the test prefix.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "luatestutil.h"
#include "orvscriptengine/changenotice.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"
#include "utility/uniquehandle.h"

namespace {

const std::wstring kKey = L"Software\\OrvTest\\Registry" + std::to_wstring(::GetCurrentProcessId());

bool RunRegistry(const std::string& script) {
    orv::SetGlobalText(EngineState(), "key", kKey);
    return RunForOk(script);
}

// The stored type and bytes of a value under HKCU\kKey; type REG_NONE when it is missing.
DWORD Stored(const wchar_t* name, std::vector<BYTE>* data) {
    DWORD type = REG_NONE, size = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, kKey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return REG_NONE;
    data->resize(size);
    ::RegGetValueW(HKEY_CURRENT_USER, kKey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data->data(), &size);
    return type;
}

std::wstring AsText(const std::vector<BYTE>& data) {
    return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2).c_str();
}

class Registry : public ::testing::Test {
protected:
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str()); }
};

TEST_F(Registry, ValuesAreWrittenWithTheirTypesAndReadBack) {
    ::SetEnvironmentVariableW(L"ORVTEST_REGDIR", L"C:\\装");
    ASSERT_TRUE(RunRegistry("ok = Lua_RegAdd('HKCU', key, 'sz', 'REG_SZ', '%ORVTEST_REGDIR%\\\\a', true)"
                    " and Lua_RegAdd('HKCU', key, 'expand', 'REG_EXPAND_SZ', '%ORVTEST_REGDIR%', true)"
                    " and Lua_RegAdd('HKCU', key, 'dword', 'REG_DWORD', 4294967295, true)"
                    " and Lua_RegAdd('HKCU', key, 'small', 'REG_DWORD', '22', true)"
                    " and Lua_RegAdd('HKCU', key, 'odd', 'REG_BINARY', 'AbC', true)"
                    " and Lua_RegAdd('HKCU', key, 'none', 'REG_BINARY', '', true)"
                    " and Lua_RegAdd('HKCU', key, '', 'REG_SZ', 'default', true)\n"
                    "q_sz, q_expand, q_dword = Lua_RegQuery('HKCU', key, 'sz'), Lua_RegQuery('HKCU', key, 'expand'),"
                    " Lua_RegQuery('HKCU', key, 'dword')\n"
                    "q_small, q_default = Lua_RegQuery('HKCU', key, 'small'), Lua_RegQuery('HKCU', key, '')\n"
                    "q_binary_is_nil = Lua_RegQuery('HKCU', key, 'odd') == nil and Lua_RegQuery('HKCU', key, 'no') == nil"));
    ::SetEnvironmentVariableW(L"ORVTEST_REGDIR", nullptr);
    lua_State* L = EngineState();
    std::vector<BYTE> data;
    EXPECT_EQ(Stored(L"sz", &data), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(AsText(data), L"C:\\装\\a");
    EXPECT_EQ(Stored(L"expand", &data), static_cast<DWORD>(REG_EXPAND_SZ));  // and left unexpanded
    EXPECT_EQ(AsText(data), L"%ORVTEST_REGDIR%");
    EXPECT_EQ(Stored(L"odd", &data), static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data, (std::vector<BYTE>{0xAB, 0x0C}));
    EXPECT_EQ(Stored(L"none", &data), static_cast<DWORD>(REG_BINARY));
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(orv::GetGlobalText(L, "q_sz"), L"C:\\装\\a");
    EXPECT_EQ(orv::GetGlobalText(L, "q_expand"), L"%ORVTEST_REGDIR%");
    EXPECT_EQ(orv::GetGlobalInteger(L, "q_dword"), -1);
    lua_getglobal(L, "q_small");
    EXPECT_TRUE(lua_type(L, -1) == LUA_TNUMBER && lua_tointeger(L, -1) == 22);
    lua_pop(L, 1);
    EXPECT_EQ(orv::GetGlobalText(L, "q_default"), L"default");
    EXPECT_TRUE(orv::GetGlobalFlag(L, "q_binary_is_nil"));
}

TEST_F(Registry, OverwriteFalseKeepsTheValueAndFailuresAreReported) {
    TraceCapture capture;
    EXPECT_TRUE(RunRegistry("ok = Lua_RegAdd('HKCU', key, 'v', 'REG_SZ', 'first', false)"
                    " and Lua_RegAdd('HKCU', key, 'v', 'REG_SZ', 'second', false)"));
    std::vector<BYTE> data;
    Stored(L"v", &data);
    EXPECT_EQ(AsText(data), L"first");
    EXPECT_FALSE(RunRegistry("ok = Lua_RegAdd('HKCU', key, 'w', 'REG_QWORD', '1', true)"));
    EXPECT_EQ(Stored(L"w", &data), static_cast<DWORD>(REG_NONE));
    EXPECT_FALSE(RunRegistry("ok = Lua_RegAdd('hkcu', key, 'v', 'REG_SZ', 'x', true)"));  // root names are exact
    EXPECT_TRUE(RunRegistry("ok = Lua_RegQuery('hkcu', key, 'v') == nil and Lua_RegQuery('HKCU', key, 'v') == 'first'"));
    TraceCapture::Lines().clear();
    EXPECT_FALSE(RunRegistry("ok = Lua_RegDel('hkcu', key)"));
    ASSERT_EQ(TraceCapture::Lines().size(), 1u);
    EXPECT_EQ(TraceCapture::Lines()[0].rfind(L"qz OpenKey hkcu failed, errcode: ", 0), 0u);
}

TEST_F(Registry, DeletionOfOneValueOrAWholeTree) {
    ASSERT_TRUE(RunRegistry("ok = Lua_RegAdd('HKCU', key, 'a', 'REG_SZ', '1', true)"
                    " and Lua_RegAdd('HKCU', key, 'b', 'REG_SZ', '2', true)"
                    " and Lua_RegAdd('HKCU', key .. '\\\\sub\\\\deeper', 'c', 'REG_DWORD', 3, true)"));
    TraceCapture capture;
    EXPECT_TRUE(RunRegistry("ok = Lua_RegDel('HKCU', key, 'a') and Lua_RegDel('HKCU', key, 'a')"));
    EXPECT_EQ(TraceCapture::Lines().at(0), L"qz Delete Value HKCU, " + kKey + L", a");
    std::vector<BYTE> data;
    EXPECT_EQ(Stored(L"a", &data), static_cast<DWORD>(REG_NONE));
    EXPECT_EQ(Stored(L"b", &data), static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(RunRegistry("ok = Lua_RegDel('HKCU', key) and Lua_RegDel('HKCU', key)"));  // absent: already deleted
    HKEY gone = nullptr;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kKey.c_str(), 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);

    // An empty subkey would name everything under the root: refused.
    ASSERT_TRUE(RunRegistry("ok = Lua_RegAdd('HKCU', key, 'x', 'REG_SZ', '1', true)"));
    EXPECT_FALSE(RunRegistry("ok = Lua_RegDel('HKCU', '')"));
    EXPECT_EQ(Stored(L"x", &data), static_cast<DWORD>(REG_SZ));
}

// A NUL inside a name would cut it short, and the action would reach the parent key or another value.
TEST_F(Registry, CreatedKeysAndSetValuesAreAnnouncedWithTheirView) {
    struct Heard : orv::ChangeListener {
        std::vector<std::wstring> lines;
        bool Before(const orv::Change& c) override {
            lines.push_back(std::to_wstring(static_cast<int>(c.kind)) + L" " + c.root + L"\\" + c.key + L":" +
                            c.valueName + L" " + std::to_wstring(c.existed) + L" " + std::to_wstring(c.view));
            return true;
        }
        void After(const orv::Change&, bool done) override { lines.push_back(done ? L"done" : L"failed"); }
    } heard;
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str());
    orv::AddChangeListener(&heard);
    const bool ok = RunRegistry("ok = Lua_RegAdd('HKCU', key .. '\\\\a', 'v', 'REG_DWORD', 1, true)"
                                " and Lua_RegAdd('HKCU', key .. '\\\\a', 'v', 'REG_DWORD', 2, true)");
    orv::RemoveChangeListener(&heard);
    ASSERT_TRUE(ok);
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    const std::wstring view = std::to_wstring(sizeof(void*) == 8 ? KEY_WOW64_64KEY : wow64 ? KEY_WOW64_32KEY : 0);
    const std::vector<std::wstring> expected = {
        L"6 HKCU\\" + kKey + L": 0 " + view, L"6 HKCU\\" + kKey + L"\\a: 0 " + view, L"done", L"done",
        L"7 HKCU\\" + kKey + L"\\a:v 0 " + view, L"done", L"7 HKCU\\" + kKey + L"\\a:v 1 " + view, L"done"};
    EXPECT_EQ(heard.lines, expected);
}

TEST_F(Registry, NamesWithANulAreRefused) {
    ASSERT_TRUE(RunRegistry("ok = Lua_RegAdd('HKCU', key, 'v', 'REG_SZ', 'kept', true)"));
    TraceCapture capture;
    EXPECT_TRUE(RunRegistry("ok = not Lua_RegDel('HKCU', key .. '\\0x') and not Lua_RegDel('HKCU', key, 'v\\0x')"
                            " and not Lua_RegAdd('HKCU', key, 'v\\0x', 'REG_SZ', 'lost', true)"
                            " and not Lua_RegAdd('HKCU', key .. '\\0\\\\sub', 'w', 'REG_SZ', 'x', true)"
                            " and Lua_RegQuery('HKCU', key, 'v\\0x') == nil"));
    std::vector<BYTE> data;
    EXPECT_EQ(Stored(L"v", &data), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(AsText(data), L"kept");
    EXPECT_EQ(Stored(L"w", &data), static_cast<DWORD>(REG_NONE));
    EXPECT_EQ(TraceCapture::Lines().at(0),
              L"qz Fun:Lua_RegDel, Description:argument 2 holds a NUL character, refused\r\n");
}

// REG_SZ data is text, not a path: it is expanded and stored at any length.
TEST_F(Registry, LongStringDataIsStoredWhole) {
    ::SetEnvironmentVariableW(L"ORVTEST_REGDIR", L"C:\\装");
    ASSERT_TRUE(RunRegistry("long = ('x'):rep(1000) .. '%ORVTEST_REGDIR%'"
                            " ok = Lua_RegAdd('HKCU', key, 'long', 'REG_SZ', long, true)"));
    ::SetEnvironmentVariableW(L"ORVTEST_REGDIR", nullptr);
    std::vector<BYTE> data;
    EXPECT_EQ(Stored(L"long", &data), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(AsText(data), std::wstring(1000, L'x') + L"C:\\装");
}

// Reading needs no write access: a key the caller may only read still answers.
TEST_F(Registry, AKeyThatMayOnlyBeReadIsStillRead) {
    ASSERT_TRUE(RunRegistry("ok = Lua_RegAdd('HKCU', key .. '\\\\ro', 'v', 'REG_SZ', 'readable', true)"));
    orv::UniqueHKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, (kKey + L"\\ro").c_str(), 0, WRITE_DAC, key.Put()), ERROR_SUCCESS);
    EXPLICIT_ACCESSW readOnly = {};
    ::BuildExplicitAccessWithNameW(&readOnly, const_cast<wchar_t*>(L"CURRENT_USER"), KEY_READ, SET_ACCESS, NO_INHERITANCE);
    PACL acl = nullptr;
    ASSERT_EQ(::SetEntriesInAclW(1, &readOnly, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
    const orv::UniqueLocalMemory ownAcl(acl);
    ASSERT_EQ(::SetSecurityInfo(key.Get(), SE_REGISTRY_KEY,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
                                nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    key.Reset();
    orv::UniqueHKey writable;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, (kKey + L"\\ro").c_str(), 0, KEY_READ | KEY_WRITE, writable.Put()) ==
        ERROR_SUCCESS) {
        GTEST_SKIP() << "this registry does not enforce key permissions";
    }
    EXPECT_TRUE(RunRegistry("ok = Lua_RegQuery('HKCU', key .. '\\\\ro', 'v') == 'readable'"));
}

TEST_F(Registry, SpecialFoldersBecomeVariablesThatPathsUse) {
    wchar_t desktop[MAX_PATH];
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
    TraceCapture capture;
    EXPECT_TRUE(RunRegistry("ok = Lua_RegVarByCSIDL('ORVTEST_DESKTOP', 16)"
                    " and Lua_RegAdd('HKCU', key, 'link', 'REG_SZ', '%ORVTEST_DESKTOP%\\\\Quellby.lnk', true)"));
    std::vector<BYTE> data;
    Stored(L"link", &data);
    EXPECT_EQ(AsText(data), std::wstring(desktop) + L"\\Quellby.lnk");
    EXPECT_FALSE(RunRegistry("ok = Lua_RegVarByCSIDL('ORVTEST_NONE', 9999)"));
    ASSERT_EQ(TraceCapture::Lines().size(), 4u);
    EXPECT_EQ(TraceCapture::Lines()[0], L"qz SHGetSpecialFolderPathW csidl=9999 failed!\r\n");
    EXPECT_EQ(TraceCapture::Lines()[1], L"qz qz file:registryactions\r\n");
    ::SetEnvironmentVariableW(L"ORVTEST_DESKTOP", nullptr);
}

// The program's own view of HKLM\SOFTWARE: the 32-bit build is redirected under 64-bit Windows, the
// 64-bit build is not. Also run for the 32-bit build in a win64 prefix.
TEST(RegistryWow64, HklmSoftwareIsTheProgramsOwnView) {
    const std::wstring sub = L"SOFTWARE\\OrvTestView" + std::to_wstring(::GetCurrentProcessId());
    orv::SetGlobalText(EngineState(), "key", sub);
    ASSERT_EQ(RunScript("ok = Lua_RegAdd('HKLM', key, 'v', 'REG_SZ', 'here', true) and"
                        " Lua_RegQuery('HKLM', key, 'v') == 'here'"),
              1);
    ASSERT_TRUE(orv::GetGlobalFlag(EngineState(), "ok"));
    const char* expected = std::getenv("ORV_EXPECT_WOW64");
    const bool wow64 = expected && std::strcmp(expected, "1") == 0;
    auto inView = [&sub](REGSAM view) {
        orv::UniqueHKey key;
        return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS;
    };
    if (sizeof(void*) == 8) {
        EXPECT_TRUE(inView(KEY_WOW64_64KEY));
        EXPECT_FALSE(inView(KEY_WOW64_32KEY));
    } else if (wow64) {
        EXPECT_TRUE(inView(KEY_WOW64_32KEY));
        EXPECT_FALSE(inView(KEY_WOW64_64KEY));
    } else {
        EXPECT_TRUE(inView(0));  // 32-bit Windows: one view
    }
    EXPECT_EQ(RunScript("Lua_RegDel('HKLM', key)"), 1);
    EXPECT_FALSE(inView(0));
}

}  // namespace
