// Lua_DeleteFile on a file another process holds open: the question box, and what each answer does.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "e2etest.h"
#include "fsutil.h"
#include "windowprobe.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace test {
namespace {

class HeldFile {
public:
    explicit HeldFile(const std::wstring& path) : path_(path) {
        WriteFileBytes(path, "busy");
        handle_ = CreateFileHandle(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING, 0);
    }
    bool Held() const { return handle_.Valid(); }
    void Release() { handle_.Reset(); }

private:
    std::wstring path_;
    UniqueFileHandle handle_;
};

// Starts the setup deleting `path` and answers each question box with the next of `answers`; `between`
// runs before each answer with the answer's index.
SetupResult DeleteAnswering(const std::wstring& path, const std::vector<int>& answers,
                            std::vector<MessageBoxContent>* boxes, const std::function<void(size_t)>& between) {
    ScopedEnv env({{L"ORVTEST_DELETE", path}, {L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"0"},
                   {L"ORVTEST_MUTEX", UniqueMutexName(L"deletefile")}});
    SetupProcess setup;
    EXPECT_TRUE(setup.Start(TestSetup(), {}));
    for (size_t i = 0; i < answers.size(); ++i) {
        HWND box = WaitForMessageBox(setup.ProcessId(), kRunTimeoutMs);
        EXPECT_NE(box, nullptr) << "question " << i << DescribeWindows(setup.ProcessId());
        if (!box) {
            ADD_FAILURE() << setup.Finish(kRunTimeoutMs).Describe();
            return SetupResult();
        }
        MessageBoxContent content;
        EXPECT_TRUE(ReadMessageBox(box, &content));
        boxes->push_back(content);
        between(i);
        EXPECT_TRUE(AnswerMessageBox(box, answers[i]));
        EXPECT_TRUE(WaitForWindowGone(box, 5000));
    }
    return setup.Finish(kRunTimeoutMs);
}

TEST(DeleteQuestion, AHeldFileAsksAndEachAnswerDoesWhatItSays) {
    TempDir dir(L"orvdel");
    const std::wstring path = dir.Sub(L"held.dll");  // ASCII: os.getenv hands scripts ANSI text;
    std::vector<MessageBoxContent> boxes;

    {  // Retry while the file is still held asks again; Ignore then counts it as done.
        HeldFile held(path);
        ASSERT_TRUE(held.Held());
        const SetupResult r = DeleteAnswering(path, {IDRETRY, IDIGNORE}, &boxes, [](size_t) {});
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].caption, L"提示");
        EXPECT_EQ(boxes[0].text, L"无法删除\"" + path +
                                     L"\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！");
        EXPECT_EQ(boxes[0].buttons.size(), 3u);
        ASSERT_TRUE(EndedWith(r, 1));
        EXPECT_TRUE(LinesInOrder(r.lines, {L"Delete " + path + L" failed!", L"SHFileOperation error code : ",
                                           L"delete result: true"}));
        EXPECT_TRUE(FileExists(path));
    }
    {  // Retry after the holder let go: deleted, and the result says so.
        HeldFile held(path);
        boxes.clear();
        const SetupResult r = DeleteAnswering(path, {IDRETRY}, &boxes, [&held](size_t) { held.Release(); });
        ASSERT_TRUE(EndedWith(r, 1));
        EXPECT_TRUE(ContainsLine(r.lines, L"delete result: true"));
        EXPECT_TRUE(LacksLine(r.lines, L"failed!"));
        EXPECT_FALSE(FileExists(path));
    }
    {  // Abort ends the setup at once with 0.
        HeldFile held(path);
        boxes.clear();
        const SetupResult r = DeleteAnswering(path, {IDABORT}, &boxes, [](size_t) {});
        ASSERT_TRUE(EndedWith(r, 0));
        EXPECT_TRUE(ContainsLine(r.lines, L"the run ends, exit code 0"));
        EXPECT_TRUE(LacksLine(r.lines, L"delete result"));
        EXPECT_TRUE(LacksLine(r.lines, L"hook:ORVSE_BeforeInstall"));
    }
}

}  // namespace
}  // namespace test
}  // namespace orv
